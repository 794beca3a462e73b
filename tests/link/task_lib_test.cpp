#include "link/os/task_lib.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "link/os/msg_q_lib.h"
#include "link/os/sem_lib.h"
#include "link_test_support.h"

namespace tlx::link::test {
namespace {

using Clock = std::chrono::steady_clock;

class Task : public LinkTest {};

TEST_F(Task, NameResolvesWhileRunningAndRecordOutlivesTheThread) {
  std::atomic<bool> release{false};
  std::atomic<bool> stopSeen{true};
  int id;
  {
    TestTask task("tWorker", [&] {
      stopSeen = taskStopRequested();
      while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    id = task.id();
    ASSERT_GT(id, 0);
    EXPECT_EQ(taskNameToId("tWorker"), id);
    EXPECT_EQ(taskNameToId("tWork"), -1);
    EXPECT_EQ(taskReap(id), 0);  // still running
    release = true;
  }
  EXPECT_FALSE(stopSeen) << "a running task is not asked to stop";
  ASSERT_TRUE(WaitTaskEnded("tWorker"));
  EXPECT_EQ(taskNameToId("tWorker"), -1);
  EXPECT_EQ(taskDelete(id), 0) << "the ended task's record is still there";
  EXPECT_EQ(taskDelete(id), -1);
  EXPECT_EQ(taskDelete(0), -1);
}

TEST_F(Task, SpawnRemovesOneEndedRecord) {
  int ended;
  { ended = TestTask("tFirst", [] {}).id(); }
  ASSERT_TRUE(WaitTaskEnded("tFirst"));
  { TestTask second("tSecond", [] {}); }
  EXPECT_EQ(taskReap(ended), -1);
  EXPECT_EQ(taskDelete(ended), -1) << "the second spawn removed the first record";
}

TEST_F(Task, StopIsRequestedOutsideTasksAndWhenTheLayerIsNotStarted) {
  EXPECT_TRUE(taskStopRequested());  // this thread is not a task
  taskLibCleanup();
  bool inTask = false;
  EXPECT_EQ(taskSpawn("tLate", 0, 0, 0, [](intptr_t) {}, 0), -1);
  taskLibInit();
  { TestTask task("tCheck", [&] { inTask = !taskStopRequested(); }); }
  EXPECT_TRUE(inTask);
}

// A task blocked where stops take effect ends within 100 ms of taskDelete,
// unwinding its stack.
TEST_F(Task, DeleteEndsTaskBlockedInReceiveOrEventReceive) {
  enum class Block { kQueue, kEventAny, kEventAll };
  for (Block block : {Block::kQueue, Block::kEventAny, Block::kEventAll}) {
    SCOPED_TRACE(static_cast<int>(block));
    MSG_Q_ID queue = msgQCreate(1, 4, 0);
    SEM_ID sem = semBCreate(0, 0);
    std::atomic<bool> waiting{false};
    std::atomic<int> after{0};
    std::atomic<bool> unwound{false};
    struct Unwind {
      std::atomic<bool>& flag;
      ~Unwind() { flag = true; }
    };
    TestTask task("tBlocked", [&] {
      Unwind unwind{unwound};
      if (block == Block::kQueue) {
        waiting = true;
        char buffer[4];
        msgQReceive(queue, buffer, 4, -1);
        after = 1;  // never reached: the task ends inside the receive
      } else {
        semEvStart(sem, 1);
        msgQEvStart(queue, 2);
        waiting = true;
        after = eventReceive(3, block == Block::kEventAny, -1, nullptr) == -1 ? 2 : 3;
      }
    });
    while (!waiting) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const auto start = Clock::now();
    EXPECT_EQ(taskDelete(task.id()), 0);
    EXPECT_LT(ElapsedMs(start), 100 + kSchedulingSlackMs);
    ASSERT_TRUE(task.Join(std::chrono::seconds(1)));
    EXPECT_TRUE(unwound);
    EXPECT_EQ(after, block == Block::kQueue ? 0 : 2);
    EXPECT_EQ(taskNameToId("tBlocked"), -1);
    semDelete(sem);
    msgQDelete(queue);
  }
}

// A stop asked for before the task has registered its events still ends its
// next event wait: nothing would ever set the events registered afterwards.
TEST_F(Task, StopAskedBeforeTheEventsAreRegisteredEndsTheEventWait) {
  SEM_ID sem = semBCreate(0, 0);
  std::atomic<int> result{-2};
  TestTask task("tLateEvents", [&] {
    while (!taskStopRequested()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    semEvStart(sem, 1);
    result = eventReceive(1, true, 120, nullptr);
    semEvStop(sem);
  });
  const auto start = Clock::now();
  EXPECT_EQ(taskDelete(task.id()), 0);
  EXPECT_LT(ElapsedMs(start), 100 + kSchedulingSlackMs);
  ASSERT_TRUE(task.Join(std::chrono::seconds(5)));
  EXPECT_EQ(result, -1);
  semDelete(sem);
}

TEST_F(Task, LibraryEndStopsTasksStillWaiting) {
  MSG_Q_ID queue = msgQCreate(1, 4, 0);
  std::atomic<bool> waiting{false};
  TestTask task("tLeftOver", [&] {
    waiting = true;
    char buffer[4];
    msgQReceive(queue, buffer, 4, -1);
  });
  while (!waiting) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  taskLibCleanup();
  EXPECT_TRUE(task.Join());
  taskLibInit();
  msgQDelete(queue);
}

TEST_F(Task, EventReceiveReportsPositionOrAllBits) {
  struct Case {
    uint32_t mask;
    bool waitAny;
    std::vector<int> given;  // semaphores given before the wait
    int result;
    uint32_t out;
  };
  // Registered in order: sem 0 under bit 1, sem 1 under bit 2, sem 2 under bit 4.
  const Case cases[] = {
      {7, true, {1}, 0, 1u << 1},
      {6, true, {2}, 0, 1u << 1},  // position among the handles the mask collects
      {4, true, {2}, 0, 1u << 0},
      {7, true, {0, 2}, 0, 1u << 0},
      {7, true, {}, -1, 0},
      {8, true, {0}, -1, 12345},  // nothing registered under the mask: out untouched
      {7, false, {0, 2}, -1, 0},
      {7, false, {0, 1, 2}, 0, 0xFFFFFFFFu},
      {3, false, {0, 1}, 0, 0xFFFFFFFFu},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "mask " << c.mask << (c.waitAny ? " any" : " all"));
    SEM_ID sems[3] = {semBCreate(0, 0), semBCreate(0, 0), semBCreate(0, 0)};
    int result = -2;
    uint32_t out = 12345;
    {
      TestTask task("tEvents", [&] {
        for (int i = 0; i < 3; ++i) semEvStart(sems[i], 1u << i);
        for (int i : c.given) semGive(sems[i]);
        result = eventReceive(c.mask, c.waitAny, 3, &out);
        for (SEM_ID sem : sems) semEvStop(sem);
      });
    }
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(out, c.out);
    for (SEM_ID sem : sems) semDelete(sem);
  }
}

TEST_F(Task, QueueEventAndOutsideCallersOfTheEventSet) {
  MSG_Q_ID queue = msgQCreate(2, 4, 0);
  uint32_t out = 0;
  int result = -2;
  {
    TestTask task("tEvents", [&] {
      msgQEvStart(queue, 0x10);
      msgQSend(queue, "ab", 2, 0, 0);
      result = eventReceive(0x10, true, 0, &out);
      msgQEvStop(queue);
    });
  }
  EXPECT_EQ(result, 0);
  EXPECT_EQ(out, 1u);
  EXPECT_EQ(msgQEvStart(queue, 1), -1) << "only a task has an event set";
  SEM_ID sem = semBCreate(0, 1);
  EXPECT_EQ(semEvStart(sem, 1), -1);
  semDelete(sem);
  EXPECT_EQ(eventReceive(0xFFFFFFFF, true, 0, &out), -1);
  msgQDelete(queue);
}

TEST_F(Task, ErrnoBelongsToEachThread) {
  errnoSet(7);
  int inTask = -1;
  int inThread = -1;
  {
    TestTask task("tErrno", [&] {
      errnoSet(11);
      inTask = errnoGet();
    });
  }
  std::thread([&] { inThread = errnoGet(); }).join();
  EXPECT_EQ(inTask, 11);
  EXPECT_EQ(inThread, 0);
  EXPECT_EQ(errnoGet(), 7);
}

}  // namespace
}  // namespace tlx::link::test

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "rtsp/task_scheduler.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Log {
  std::vector<std::string> entries;
};

struct Named {
  Log* log;
  std::string name;
};

void Record(void* data) {
  auto* n = static_cast<Named*>(data);
  n->log->entries.push_back(n->name);
}

class TestScheduler : public BasicTaskScheduler {
 public:
  TestScheduler() = default;
};

TEST(Scheduler, RunsTasksByDueTimeAndTiesInSchedulingOrder) {
  TestScheduler s;
  Log log;
  Named a{&log, "a"}, b{&log, "b"}, c{&log, "c"}, d{&log, "d"};
  s.scheduleDelayedTask(20000, Record, &c);
  s.scheduleDelayedTask(0, Record, &a);
  s.scheduleDelayedTask(0, Record, &b);
  s.scheduleDelayedTask(20000, Record, &d);
  while (log.entries.size() < 4) ASSERT_TRUE(s.SingleStep(100000));
  EXPECT_EQ(log.entries, (std::vector<std::string>{"a", "b", "c", "d"}));
}

struct Unscheduler {
  TaskScheduler* scheduler;
  TaskToken* victim;
};

TEST(Scheduler, UnschedulesFromInsideATaskAndAfterTheTaskRan) {
  TestScheduler s;
  Log log;
  Named victim{&log, "victim"}, early{&log, "early"};
  TaskToken victimToken = s.scheduleDelayedTask(1000, Record, &victim);
  Unscheduler u{&s, &victimToken};
  s.scheduleDelayedTask(0, [](void* d) {
    auto* u = static_cast<Unscheduler*>(d);
    u->scheduler->unscheduleDelayedTask(*u->victim);
  }, &u);
  TaskToken earlyToken = s.scheduleDelayedTask(0, Record, &early);
  EXPECT_TRUE(s.SingleStep(1000));
  EXPECT_EQ(victimToken, nullptr);
  // Past the victim's due time: it was removed, so nothing runs.
  std::vector<std::string> seen = log.entries;
  const auto until = Clock::now() + std::chrono::milliseconds(5);
  while (Clock::now() < until) s.SingleStep(1000);
  EXPECT_EQ(log.entries, (std::vector<std::string>{"early"}));
  // The early task ran: its token no longer names anything.
  s.unscheduleDelayedTask(earlyToken);
  EXPECT_EQ(earlyToken, nullptr);
  TaskToken none = nullptr;
  s.unscheduleDelayedTask(none);
}

TEST(Scheduler, StepWaitsAtMostItsLimitAndNoLongerThanTheNextTask) {
  TestScheduler s;
  auto start = Clock::now();
  EXPECT_TRUE(s.SingleStep(20000));  // nothing at all: waits the limit
  auto waited = Clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(19));
  EXPECT_LT(waited, std::chrono::seconds(2));

  Log log;
  Named soon{&log, "soon"};
  s.scheduleDelayedTask(10000, Record, &soon);
  start = Clock::now();
  while (log.entries.empty()) ASSERT_TRUE(s.SingleStep(5000000));
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
}

struct Reader {
  TaskScheduler* scheduler;
  int fd;
  int calls = 0;
  bool offAfterFirst = false;
};

void OnReadable(void* data, int mask) {
  auto* r = static_cast<Reader*>(data);
  EXPECT_TRUE(mask & SOCKET_READABLE);
  ++r->calls;
  if (r->offAfterFirst) r->scheduler->turnOffBackgroundReadHandling(r->fd);
}

TEST(Scheduler, ReadHandlerFiresWhileDataIsPendingAndNotAfterTurnOff) {
  int fds[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
  TestScheduler s;
  Reader r{&s, fds[0]};
  s.turnOnBackgroundReadHandling(fds[0], OnReadable, &r);
  EXPECT_TRUE(s.SingleStep(1000));
  EXPECT_EQ(r.calls, 0);
  ASSERT_EQ(write(fds[1], "x", 1), 1);
  EXPECT_TRUE(s.SingleStep(1000000));
  EXPECT_TRUE(s.SingleStep(1000000));
  EXPECT_EQ(r.calls, 2) << "the byte is still unread";
  s.turnOffBackgroundReadHandling(fds[0]);
  EXPECT_TRUE(s.SingleStep(1000));
  EXPECT_EQ(r.calls, 2);

  // A handler that turns itself off runs once.
  Reader self{&s, fds[0], 0, true};
  s.turnOnBackgroundReadHandling(fds[0], OnReadable, &self);
  EXPECT_TRUE(s.SingleStep(1000000));
  EXPECT_TRUE(s.SingleStep(1000));
  EXPECT_EQ(self.calls, 1);
  close(fds[0]);
  close(fds[1]);
}

struct Repeater {
  TaskScheduler* scheduler;
  int runs = 0;
  char watch = 0;
};

void Repeat(void* data) {
  auto* r = static_cast<Repeater*>(data);
  if (++r->runs == 5) {
    r->watch = 1;
    return;
  }
  r->scheduler->scheduleDelayedTask(1000, Repeat, r);
}

TEST(Scheduler, SelfReschedulingTaskRunsUntilItSetsTheWatchVariable) {
  TestScheduler s;
  Repeater r{&s};
  s.scheduleDelayedTask(0, Repeat, &r);
  s.doEventLoop(&r.watch);
  EXPECT_EQ(r.runs, 5);
}

TEST(Scheduler, StepRunsEachTaskOnceEvenWhenTasksAddDueTasks) {
  // A task that schedules another with no delay does not run it in the same
  // step, so a step always ends.
  TestScheduler s;
  Repeater r{&s};
  s.scheduleDelayedTask(0, [](void* d) {
    auto* r = static_cast<Repeater*>(d);
    ++r->runs;
    r->scheduler->scheduleDelayedTask(0, [](void* d2) { ++static_cast<Repeater*>(d2)->runs; }, r);
  }, &r);
  EXPECT_TRUE(s.SingleStep(1000));
  EXPECT_EQ(r.runs, 1);
  EXPECT_TRUE(s.SingleStep(1000));
  EXPECT_EQ(r.runs, 2);
}

}  // namespace

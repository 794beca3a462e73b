#include "win32/threads.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <string>

#include "win32/synch.h"
#include "win32/timing.h"

namespace {

struct Gate {
  HANDLE release = CreateEvent(nullptr, TRUE, FALSE, nullptr);
  std::atomic<bool> ran{false};
  std::atomic<DWORD> id{0};
  ~Gate() { CloseHandle(release); }
};

DWORD WaitAtGate(void* p) {
  auto* gate = static_cast<Gate*>(p);
  gate->ran = true;
  gate->id = GetCurrentThreadId();
  WaitForSingleObject(gate->release, INFINITE);
  return 42;
}

TEST(Thread, JoinTimesOutWhileRunningThenReportsExitCode) {
  Gate gate;
  DWORD id = 0;
  HANDLE t = CreateThread(nullptr, 0, WaitAtGate, &gate, 0, &id);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(WaitForSingleObject(t, 30), WAIT_TIMEOUT);
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeThread(t, &code));
  EXPECT_EQ(code, STILL_ACTIVE);
  SetEvent(gate.release);
  EXPECT_EQ(WaitForSingleObject(t, INFINITE), WAIT_OBJECT_0);
  ASSERT_TRUE(GetExitCodeThread(t, &code));
  EXPECT_EQ(code, 42u);
  EXPECT_EQ(gate.id, id);
  EXPECT_EQ(GetThreadId(t), id);
  EXPECT_NE(id, GetCurrentThreadId());
  CloseHandle(t);
}

TEST(Thread, SuspendedThreadStartsOnResume) {
  Gate gate;
  SetEvent(gate.release);
  HANDLE t = CreateThread(nullptr, 4096, WaitAtGate, &gate, CREATE_SUSPENDED, nullptr);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(WaitForSingleObject(t, 30), WAIT_TIMEOUT);
  EXPECT_FALSE(gate.ran);
  EXPECT_EQ(ResumeThread(t), 1u);
  EXPECT_EQ(WaitForSingleObject(t, INFINITE), WAIT_OBJECT_0);
  EXPECT_TRUE(gate.ran);
  EXPECT_EQ(ResumeThread(t), 0u);
  EXPECT_TRUE(SetThreadPriority(t, THREAD_PRIORITY_TIME_CRITICAL)) << "accepted, ignored";
  CloseHandle(t);
}

int ThreadCount() {
  int count = 0;
  if (DIR* dir = opendir("/proc/self/task")) {
    while (dirent* entry = readdir(dir)) count += entry->d_name[0] != '.';
    closedir(dir);
  }
  return count;
}

DWORD Quick(void*) { return 0; }

// Records the kernel's id of the thread it runs on.
DWORD RecordTaskId(void* task) {
  static_cast<std::atomic<pid_t>*>(task)->store(gettid());
  return 0;
}

TEST(Thread, HandlesClosedBeforeOrAfterTheEndLeaveNoThreadBehind) {
  // A first thread lets runtimes start their own helper threads (the thread
  // sanitizer has one) before counting.
  // Its end is signalled before the thread is gone, so wait for it to go.
  std::atomic<pid_t> warmUpTask{0};
  HANDLE warmUp = CreateThread(nullptr, 0, RecordTaskId, &warmUpTask, 0, nullptr);
  WaitForSingleObject(warmUp, INFINITE);
  CloseHandle(warmUp);
  const std::string warmUpEntry = "/proc/self/task/" + std::to_string(warmUpTask.load());
  for (int i = 0; i < 200 && access(warmUpEntry.c_str(), F_OK) == 0; ++i) Sleep(5);
  const int before = ThreadCount();
  for (int i = 0; i < 50; ++i) {
    HANDLE early = CreateThread(nullptr, 0, Quick, nullptr, 0, nullptr);
    CloseHandle(early);  // the thread finishes on its own
    HANDLE late = CreateThread(nullptr, 0, Quick, nullptr, 0, nullptr);
    WaitForSingleObject(late, INFINITE);
    CloseHandle(late);
  }
  for (int i = 0; i < 200 && ThreadCount() != before; ++i) Sleep(5);
  EXPECT_EQ(ThreadCount(), before);
}

TEST(Thread, WaitAnyOnThreadsReportsTheOneThatEnded) {
  Gate first, second;
  HANDLE threads[2] = {CreateThread(nullptr, 0, WaitAtGate, &first, 0, nullptr),
                       CreateThread(nullptr, 0, WaitAtGate, &second, 0, nullptr)};
  SetEvent(second.release);
  EXPECT_EQ(WaitForMultipleObjects(2, threads, FALSE, INFINITE), WAIT_OBJECT_0 + 1);
  SetEvent(first.release);
  EXPECT_EQ(WaitForMultipleObjects(2, threads, TRUE, INFINITE), WAIT_OBJECT_0);
  CloseHandle(threads[0]);
  CloseHandle(threads[1]);
}

}  // namespace

// Events, semaphores, waits and critical sections, with several real threads.
#include "win32/synch.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "win32/timing.h"

namespace {

using tlx::win32::WaiterCount;

// Blocks until `count` threads wait on `object`.
void AwaitWaiters(HANDLE object, int count) {
  while (WaiterCount(object) < count) std::this_thread::yield();
}

struct Handles {
  std::vector<HANDLE> list;
  ~Handles() {
    for (HANDLE h : list) CloseHandle(h);
  }
  HANDLE Add(HANDLE h) {
    list.push_back(h);
    return h;
  }
};

TEST(WaitAny, ReportsLowestSignalledIndex) {
  struct Case {
    std::vector<int> signalled;
    DWORD expected;
  };
  const Case cases[] = {
      {{}, WAIT_TIMEOUT}, {{0}, WAIT_OBJECT_0}, {{2}, WAIT_OBJECT_0 + 2},
      {{1, 3}, WAIT_OBJECT_0 + 1}, {{3, 0, 2}, WAIT_OBJECT_0}, {{3}, WAIT_OBJECT_0 + 3},
  };
  for (const Case& c : cases) {
    Handles h;
    for (int i = 0; i < 4; ++i) h.Add(CreateEvent(nullptr, TRUE, FALSE, nullptr));
    for (int i : c.signalled) SetEvent(h.list[static_cast<size_t>(i)]);
    EXPECT_EQ(WaitForMultipleObjects(4, h.list.data(), FALSE, 0), c.expected);
  }
}

TEST(WaitAny, AutoResetTakesOnlyTheReportedObject) {
  Handles h;
  HANDLE events[2] = {h.Add(CreateEvent(nullptr, FALSE, TRUE, nullptr)),
                      h.Add(CreateEvent(nullptr, FALSE, TRUE, nullptr))};
  EXPECT_EQ(WaitForMultipleObjects(2, events, FALSE, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForMultipleObjects(2, events, FALSE, 0), WAIT_OBJECT_0 + 1);
  EXPECT_EQ(WaitForMultipleObjects(2, events, FALSE, 0), WAIT_TIMEOUT);
}

TEST(WaitAll, TakesNothingUntilEveryObjectIsSignalled) {
  Handles h;
  HANDLE events[2] = {h.Add(CreateEvent(nullptr, FALSE, FALSE, nullptr)),
                      h.Add(CreateEvent(nullptr, FALSE, FALSE, nullptr))};
  std::atomic<DWORD> result{WAIT_FAILED};
  std::thread waiter([&] { result = WaitForMultipleObjects(2, events, TRUE, INFINITE); });
  AwaitWaiters(events[0], 1);
  SetEvent(events[0]);
  // The blocked wait-all must not have taken the first event on its own.
  EXPECT_EQ(WaitForSingleObject(events[0], 0), WAIT_OBJECT_0);
  SetEvent(events[0]);
  SetEvent(events[1]);
  waiter.join();
  EXPECT_EQ(result, WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(events[0], 0), WAIT_TIMEOUT);
  EXPECT_EQ(WaitForSingleObject(events[1], 0), WAIT_TIMEOUT);
}

TEST(WaitAll, TwoWaitersRacingForTwoEventsOneWinsBoth) {
  for (int round = 0; round < 200; ++round) {
    Handles h;
    HANDLE events[2] = {h.Add(CreateEvent(nullptr, FALSE, FALSE, nullptr)),
                        h.Add(CreateEvent(nullptr, FALSE, FALSE, nullptr))};
    HANDLE reversed[2] = {events[1], events[0]};
    std::atomic<int> done{0};
    auto wait = [&](HANDLE* set) {
      EXPECT_EQ(WaitForMultipleObjects(2, set, TRUE, INFINITE), WAIT_OBJECT_0);
      ++done;
    };
    std::thread a(wait, events), b(wait, reversed);
    AwaitWaiters(events[0], 2);
    SetEvent(events[1]);
    SetEvent(events[0]);
    while (done < 1) std::this_thread::yield();
    // The loser still waits on both events and took neither of them.
    ASSERT_EQ(WaiterCount(events[0]), 1) << "round " << round;
    ASSERT_EQ(WaiterCount(events[1]), 1) << "round " << round;
    ASSERT_EQ(done, 1);
    SetEvent(events[0]);
    SetEvent(events[1]);
    a.join();
    b.join();
  }
}

TEST(WaitAll, RefusesTheSameObjectTwice) {
  Handles h;
  HANDLE e = h.Add(CreateEvent(nullptr, TRUE, TRUE, nullptr));
  HANDLE twice[2] = {e, e};
  EXPECT_EQ(WaitForMultipleObjects(2, twice, TRUE, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(Event, PulseReleasesCurrentWaitersAndLatchesNothing) {
  struct Case {
    BOOL manualReset;
    int waiters;
    int released;
  };
  const Case cases[] = {{TRUE, 0, 0}, {TRUE, 3, 3}, {FALSE, 0, 0}, {FALSE, 3, 1}};
  for (const Case& c : cases) {
    Handles h;
    HANDLE e = h.Add(CreateEvent(nullptr, c.manualReset, FALSE, nullptr));
    std::atomic<int> released{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < c.waiters; ++i) {
      threads.emplace_back([&] {
        if (WaitForSingleObject(e, 300) == WAIT_OBJECT_0) ++released;
      });
    }
    AwaitWaiters(e, c.waiters);
    PulseEvent(e);
    for (auto& t : threads) t.join();
    EXPECT_EQ(released, c.released) << "manual " << c.manualReset << " waiters " << c.waiters;
    EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_TIMEOUT) << "a pulse leaves the event reset";
  }
}

TEST(Event, AutoResetReleasesExactlyOneWaiterPerSet) {
  Handles h;
  HANDLE e = h.Add(CreateEvent(nullptr, FALSE, FALSE, nullptr));
  std::atomic<int> released{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i) {
    threads.emplace_back([&] {
      if (WaitForSingleObject(e, INFINITE) == WAIT_OBJECT_0) ++released;
    });
  }
  for (int set = 1; set <= 4; ++set) {
    AwaitWaiters(e, 5 - set);
    SetEvent(e);
    while (released < set) std::this_thread::yield();
    Sleep(5);
    EXPECT_EQ(released, set);
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_TIMEOUT);
}

TEST(Event, ManualResetStaysSignalledUntilReset) {
  Handles h;
  HANDLE e = h.Add(CreateEvent(nullptr, TRUE, TRUE, nullptr));
  EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_OBJECT_0);
  ResetEvent(e);
  EXPECT_EQ(WaitForSingleObject(e, 20), WAIT_TIMEOUT);
}

TEST(Semaphore, CountsAndRefusesReleasePastMaximum) {
  Handles h;
  HANDLE s = h.Add(CreateSemaphore(nullptr, 1, 2, nullptr));
  LONG previous = -1;
  EXPECT_TRUE(ReleaseSemaphore(s, 1, &previous));
  EXPECT_EQ(previous, 1);
  previous = -1;
  EXPECT_FALSE(ReleaseSemaphore(s, 1, &previous));
  EXPECT_EQ(GetLastError(), ERROR_TOO_MANY_POSTS);
  EXPECT_EQ(previous, -1) << "a refused release changes nothing";
  EXPECT_EQ(WaitForSingleObject(s, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(s, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(s, 0), WAIT_TIMEOUT);
  EXPECT_FALSE(ReleaseSemaphore(s, 3, nullptr));
  EXPECT_TRUE(ReleaseSemaphore(s, 2, &previous));
  EXPECT_EQ(previous, 0);
  EXPECT_EQ(CreateSemaphore(nullptr, 3, 2, nullptr), nullptr);
}

TEST(Semaphore, ReleaseWakesBlockedWaitersUpToTheCount) {
  Handles h;
  HANDLE s = h.Add(CreateSemaphore(nullptr, 0, 10, nullptr));
  std::atomic<int> acquired{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 3; ++i) {
    threads.emplace_back([&] {
      if (WaitForSingleObject(s, 300) == WAIT_OBJECT_0) ++acquired;
    });
  }
  AwaitWaiters(s, 3);
  ReleaseSemaphore(s, 2, nullptr);
  for (auto& t : threads) t.join();
  EXPECT_EQ(acquired, 2);
}

TEST(Handles, ClosedOrForeignHandlesFailCleanly) {
  HANDLE e = CreateEvent(nullptr, TRUE, TRUE, nullptr);
  ASSERT_TRUE(CloseHandle(e));
  EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(SetEvent(e));
  EXPECT_FALSE(CloseHandle(e));
  int notAnObject = 0;
  EXPECT_EQ(WaitForSingleObject(&notAnObject, 0), WAIT_FAILED);
  EXPECT_EQ(CreateEvent(nullptr, TRUE, TRUE, "named"), nullptr);

  HANDLE s = CreateSemaphore(nullptr, 1, 1, nullptr);
  EXPECT_FALSE(SetEvent(s)) << "an event call on a semaphore";
  CloseHandle(s);
}

TEST(Handles, CloseDuringAWaitKeepsTheObjectAliveForTheWaiter) {
  HANDLE e = CreateEvent(nullptr, FALSE, FALSE, nullptr);
  std::atomic<DWORD> result{WAIT_FAILED};
  std::thread waiter([&] { result = WaitForSingleObject(e, 100); });
  AwaitWaiters(e, 1);
  CloseHandle(e);
  waiter.join();
  EXPECT_EQ(result, WAIT_TIMEOUT);
}

TEST(CriticalSection, RecursiveForTheOwnerExclusiveForOthers) {
  CRITICAL_SECTION cs;
  InitializeCriticalSection(&cs);
  EnterCriticalSection(&cs);
  EXPECT_TRUE(TryEnterCriticalSection(&cs));
  auto tryElsewhere = [&] {
    BOOL got = FALSE;
    std::thread([&] {
      got = TryEnterCriticalSection(&cs);
      if (got) LeaveCriticalSection(&cs);
    }).join();
    return got;
  };
  EXPECT_FALSE(tryElsewhere());
  LeaveCriticalSection(&cs);
  EXPECT_FALSE(tryElsewhere()) << "still held once";
  LeaveCriticalSection(&cs);
  EXPECT_TRUE(tryElsewhere());
  {
    CriticalSectionLock lock(cs);
    EXPECT_FALSE(tryElsewhere());
  }
  EXPECT_TRUE(tryElsewhere());
  DeleteCriticalSection(&cs);
}

TEST(Interlocked, ReturnsTheDocumentedValues) {
  volatile LONG v = 5;
  EXPECT_EQ(InterlockedIncrement(&v), 6);
  EXPECT_EQ(InterlockedDecrement(&v), 5);
  EXPECT_EQ(InterlockedExchange(&v, 9), 5);
  EXPECT_EQ(InterlockedExchangeAdd(&v, 3), 9);
  EXPECT_EQ(InterlockedCompareExchange(&v, 1, 0), 12);
  EXPECT_EQ(InterlockedCompareExchange(&v, 1, 12), 12);
  EXPECT_EQ(v, 1);
}

}  // namespace

#include "win32/messages.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <thread>
#include <vector>

#include "win32/synch.h"
#include "win32/threads.h"

namespace {

// A worker thread with a queue; its loop is given by the test.
class Worker {
 public:
  template <typename Loop>
  explicit Worker(Loop loop) : thread_([this, loop] {
    MSG msg;
    PeekMessage(&msg, nullptr, 0, 0, PM_NOREMOVE);  // creates the queue
    id_ = GetCurrentThreadId();
    ready_ = true;
    loop();
  }) {
    while (!ready_) std::this_thread::yield();
  }
  ~Worker() { thread_.join(); }
  DWORD id() const { return id_; }

 private:
  std::atomic<bool> ready_{false};
  std::atomic<DWORD> id_{0};
  std::thread thread_;
};

TEST(ThreadMessages, OrderIsKeptPerSenderAcrossThreads) {
  constexpr int kSenders = 4;
  constexpr int kPerSender = 500;
  std::map<WPARAM, std::vector<LPARAM>> received;
  BOOL last = TRUE;
  {
    Worker receiver([&] {
      MSG msg;
      while ((last = GetMessage(&msg, nullptr, 0, 0)) > 0) received[msg.wParam].push_back(msg.lParam);
    });
    std::vector<std::thread> senders;
    for (int s = 0; s < kSenders; ++s) {
      senders.emplace_back([&, s] {
        for (int i = 0; i < kPerSender; ++i) {
          ASSERT_TRUE(PostThreadMessage(receiver.id(), WM_APP, static_cast<WPARAM>(s), i));
        }
      });
    }
    for (auto& t : senders) t.join();
    PostThreadMessage(receiver.id(), WM_QUIT, 0, 0);
  }
  EXPECT_EQ(last, FALSE);
  ASSERT_EQ(received.size(), static_cast<size_t>(kSenders));
  for (const auto& [sender, values] : received) {
    ASSERT_EQ(values.size(), static_cast<size_t>(kPerSender));
    for (int i = 0; i < kPerSender; ++i) EXPECT_EQ(values[static_cast<size_t>(i)], i) << "sender " << sender;
  }
}

TEST(ThreadMessages, PeekRemoveAndNoRemove) {
  MSG msg{};
  EXPECT_FALSE(PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE));  // creates this thread's queue
  const DWORD self = GetCurrentThreadId();
  ASSERT_TRUE(PostThreadMessage(self, WM_USER + 1, 1, 10));
  ASSERT_TRUE(PostThreadMessage(self, WM_USER + 2, 2, 20));

  ASSERT_TRUE(PeekMessage(&msg, nullptr, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(msg.message, WM_USER + 1);
  ASSERT_TRUE(PeekMessage(&msg, nullptr, WM_USER + 2, WM_USER + 2, PM_REMOVE)) << "a filter skips ahead";
  EXPECT_EQ(msg.lParam, 20);
  ASSERT_TRUE(PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, WM_USER + 1);
  EXPECT_EQ(msg.wParam, 1u);
  EXPECT_FALSE(PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST(ThreadMessages, QuitComesAfterPostedMessagesAndOnlyOnce) {
  MSG msg{};
  PeekMessage(&msg, nullptr, 0, 0, PM_NOREMOVE);
  PostThreadMessage(GetCurrentThreadId(), WM_APP, 0, 0);
  PostQuitMessage(7);
  PostThreadMessage(GetCurrentThreadId(), WM_APP + 1, 0, 0);
  EXPECT_EQ(GetMessage(&msg, nullptr, 0, 0), TRUE);
  EXPECT_EQ(msg.message, WM_APP);
  EXPECT_EQ(GetMessage(&msg, nullptr, 0, 0), TRUE);
  EXPECT_EQ(msg.message, WM_APP + 1);
  ASSERT_TRUE(PeekMessage(&msg, nullptr, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(msg.message, WM_QUIT) << "a peek without removal leaves the quit pending";
  EXPECT_EQ(GetMessage(&msg, nullptr, 0, 0), FALSE);
  EXPECT_EQ(msg.message, WM_QUIT);
  EXPECT_EQ(msg.wParam, 7u);
  EXPECT_FALSE(PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(GetMessage(nullptr, nullptr, 0, 0), -1);
}

DWORD NoQueue(void*) { return 0; }

TEST(ThreadMessages, PostFailsWithoutAQueueOrAfterTheThreadEnded) {
  DWORD id = 0;
  HANDLE t = CreateThread(nullptr, 0, NoQueue, nullptr, CREATE_SUSPENDED, &id);
  EXPECT_FALSE(PostThreadMessage(id, WM_APP, 0, 0));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_THREAD_ID);
  ResumeThread(t);
  WaitForSingleObject(t, INFINITE);
  CloseHandle(t);

  DWORD ended = 0;
  { Worker worker([&] { ended = GetCurrentThreadId(); }); }
  EXPECT_FALSE(PostThreadMessage(ended, WM_APP, 0, 0));
}

TEST(ThreadMessages, AFullQueueRefusesFurtherPosts) {
  std::atomic<bool> drain{false};
  size_t drained = 0;
  {
    Worker worker([&] {
      while (!drain) std::this_thread::yield();
      MSG msg;
      while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) ++drained;
    });
    for (size_t i = 0; i < kThreadQueueLimit; ++i) ASSERT_TRUE(PostThreadMessage(worker.id(), WM_APP, 0, 0));
    EXPECT_FALSE(PostThreadMessage(worker.id(), WM_APP, 0, 0));
    EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_QUOTA);
    drain = true;
  }
  EXPECT_EQ(drained, kThreadQueueLimit);
}

TEST(ThreadMessages, DisposerRunsOnlyForMessagesLeftWhenTheThreadEnds) {
  std::atomic<int> disposed{0};
  std::atomic<bool> take{false};
  auto dispose = [&](WPARAM w, LPARAM l) {
    EXPECT_EQ(w, 7u);
    delete reinterpret_cast<int*>(l);
    ++disposed;
  };
  {
    Worker worker([&] {
      while (!take) std::this_thread::yield();
      MSG msg;
      ASSERT_TRUE(PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE));
      delete reinterpret_cast<int*>(msg.lParam);  // retrieved: the receiver owns it
    });
    for (int i = 0; i < 3; ++i) {
      ASSERT_TRUE(PostThreadMessage(worker.id(), WM_APP, 7, reinterpret_cast<LPARAM>(new int(i)), dispose));
    }
    take = true;
  }
  EXPECT_EQ(disposed, 2);

  // A refused post leaves the record with the sender.
  DWORD ended = 0;
  { Worker gone([&] { ended = GetCurrentThreadId(); }); }
  int kept = 0;
  EXPECT_FALSE(PostThreadMessage(ended, WM_APP, 7, reinterpret_cast<LPARAM>(&kept), dispose));
  EXPECT_EQ(disposed, 2);
}

}  // namespace

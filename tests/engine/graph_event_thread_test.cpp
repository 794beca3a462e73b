// The graph-event thread over a real graph whose events the test raises
// through the graph's event sink.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "com/class_registry.h"
#include "com/com_ptr.h"
#include "dshow/errors.h"
#include "dshow/guids.h"
#include "engine/graph_event_thread.h"
#include "thread_count.h"
#include "win32/messages.h"

namespace tlx::engine {
namespace {

using com::ComPtr;
using namespace std::chrono_literals;

class GraphEventThreadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_ALL, IID_IGraphBuilder, graph_.ReceiveVoid()), S_OK);
    events_ = graph_.As<IMediaEvent>(IID_IMediaEvent);
    sink_ = graph_.As<IMediaEventSink>(IID_IMediaEventSink);
    ASSERT_TRUE(events_ && sink_);
    // As the stream objects do: these two come to the application.
    events_->CancelDefaultHandling(EC_NEED_RESTART);
    events_->CancelDefaultHandling(EC_DISPLAY_CHANGED);
  }
  void TearDown() override {
    sink_.Reset();
    events_.Reset();
    graph_.Reset();
    CoUninitialize();
  }

  // Records each code; blocks in the handler while `hold` is set.
  GraphEventThread::Handler Recorder() {
    return [this](long code, LONG_PTR, LONG_PTR) {
      std::unique_lock<std::mutex> lock(lock_);
      codes_.push_back(code);
      changed_.notify_all();
      changed_.wait(lock, [this] { return !hold_; });
    };
  }
  bool WaitForCodes(size_t count, std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(lock_);
    return changed_.wait_for(lock, timeout, [&] { return codes_.size() >= count; });
  }
  void Release() {
    std::lock_guard<std::mutex> lock(lock_);
    hold_ = false;
    changed_.notify_all();
  }

  ComPtr<IGraphBuilder> graph_;
  ComPtr<IMediaEvent> events_;
  ComPtr<IMediaEventSink> sink_;
  std::mutex lock_;
  std::condition_variable changed_;
  std::vector<long> codes_;
  bool hold_ = false;
};

TEST_F(GraphEventThreadTest, HandsOverEveryEventInOrderAndEndsWhileWaiting) {
  auto thread = GraphEventThread::Start(events_.Get(), Recorder());
  ASSERT_TRUE(thread);
  for (long code : {EC_USER + 1, EC_NEED_RESTART, EC_USER + 8}) sink_->Notify(code, 0, 0);
  ASSERT_TRUE(WaitForCodes(3, 5s));
  EXPECT_EQ(codes_, (std::vector<long>{EC_USER + 1, EC_NEED_RESTART, EC_USER + 8}));
  // The thread now waits up to a second for the next event; WM_QUIT ends
  // it without that wait running out (every bRunMovie ends the previous
  // graph's thread before it starts the stream).
  std::this_thread::sleep_for(50ms);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(thread->End(), GraphEventThread::EndResult::kEnded);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);
}

TEST_F(GraphEventThreadTest, AThreadThatDoesNotEndIsDetachedAndCallsNoMore) {
  hold_ = true;
  auto thread = GraphEventThread::Start(events_.Get(), Recorder());
  ASSERT_TRUE(thread);
  sink_->Notify(EC_NEED_RESTART, 0, 0);
  ASSERT_TRUE(WaitForCodes(1, 5s));
  sink_->Notify(EC_DISPLAY_CHANGED, 0, 0);
  EXPECT_EQ(thread->End(100), GraphEventThread::EndResult::kTimedOut);
  thread.reset();
  Release();
  // The held call returns; the queued event is not handed over, and the
  // thread ends on its own.
  EXPECT_FALSE(WaitForCodes(2, 1500ms));
  EXPECT_EQ(codes_, std::vector<long>{EC_NEED_RESTART});
}

TEST_F(GraphEventThreadTest, AFullQueueCannotTakeTheQuitAndTheThreadIsDetached) {
  const size_t threadsBefore = test::SteadyThreadCount();
  hold_ = true;
  auto thread = GraphEventThread::Start(events_.Get(), Recorder());
  ASSERT_TRUE(thread);
  sink_->Notify(EC_NEED_RESTART, 0, 0);
  ASSERT_TRUE(WaitForCodes(1, 5s));
  // The held thread drains nothing: fill its queue.
  while (PostThreadMessage(thread->ThreadId(), WM_USER, 0, 0)) {
  }
  sink_->Notify(EC_DISPLAY_CHANGED, 0, 0);
  EXPECT_EQ(thread->End(), GraphEventThread::EndResult::kPostFailed);
  thread.reset();
  Release();
  EXPECT_FALSE(WaitForCodes(2, 1500ms));
  EXPECT_EQ(codes_, std::vector<long>{EC_NEED_RESTART});
  // It ended on its own once its call returned.
  EXPECT_EQ(test::ThreadCountSettledAt(threadsBefore), threadsBefore);
}

}  // namespace
}  // namespace tlx::engine

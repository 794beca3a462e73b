#include "engine/graph_event_thread.h"

#include <latch>
#include <utility>
#include <mutex>

#include "com/com_ptr.h"
#include "win32/messages.h"
#include "win32/synch.h"
#include "win32/threads.h"

namespace tlx::engine {

namespace {

constexpr long kGetEventWaitMs = 1000;

}  // namespace

struct GraphEventThread::Shared {
  com::ComPtr<IMediaEvent> events;
  Handler handler;
  std::latch queueReady{1};
  std::mutex lock;
  bool detached = false;  // under lock

  bool Detached() {
    std::lock_guard<std::mutex> hold(lock);
    return detached;
  }
};

namespace {

DWORD ThreadProc(void* parameter) {
  // The thread's own share, handed over by Start.
  std::unique_ptr<std::shared_ptr<GraphEventThread::Shared>> owned(
      static_cast<std::shared_ptr<GraphEventThread::Shared>*>(parameter));
  std::shared_ptr<GraphEventThread::Shared> shared = *owned;
  MSG msg{};
  PeekMessage(&msg, nullptr, 0, 0, PM_NOREMOVE);
  shared->queueReady.count_down();
  for (;;) {
    while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) return 0;
    }
    // Detached while its last call ran (its quit may never have been posted).
    if (shared->Detached()) return 0;
    long code = 0;
    LONG_PTR param1 = 0;
    LONG_PTR param2 = 0;
    if (FAILED(shared->events->GetEvent(&code, &param1, &param2, kGetEventWaitMs))) continue;
    if (!shared->Detached()) shared->handler(code, param1, param2);
    shared->events->FreeEventParams(code, param1, param2);
  }
}

}  // namespace

std::unique_ptr<GraphEventThread> GraphEventThread::Start(IMediaEvent* events, Handler handler) {
  if (events == nullptr) return nullptr;
  std::unique_ptr<GraphEventThread> thread(new GraphEventThread());
  thread->shared_ = std::make_shared<Shared>();
  thread->shared_->events = com::ComPtr<IMediaEvent>(events);
  thread->shared_->handler = std::move(handler);
  auto* share = new std::shared_ptr<Shared>(thread->shared_);
  thread->thread_ = CreateThread(nullptr, 0, ThreadProc, share, 0, &thread->threadId_);
  if (thread->thread_ == nullptr) {
    delete share;
    return nullptr;
  }
  thread->shared_->queueReady.wait();
  return thread;
}

GraphEventThread::~GraphEventThread() {
  if (thread_ != nullptr) End();
}

GraphEventThread::EndResult GraphEventThread::End(DWORD timeoutMs) {
  if (thread_ == nullptr) return EndResult::kEnded;
  EndResult result = EndResult::kEnded;
  if (!PostThreadMessage(threadId_, WM_QUIT, 0, 0)) {
    result = EndResult::kPostFailed;
  } else if (WaitForSingleObject(thread_, timeoutMs) != WAIT_OBJECT_0) {
    result = EndResult::kTimedOut;
  }
  if (result != EndResult::kEnded) {
    std::lock_guard<std::mutex> hold(shared_->lock);
    shared_->detached = true;
  }
  CloseHandle(std::exchange(thread_, nullptr));
  return result;
}

}  // namespace tlx::engine

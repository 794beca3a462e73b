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
  HANDLE eventsReady = nullptr;  // the graph's own event: set while events are queued
  Handler handler;
  std::latch queueReady{1};
  // Set by End once it posted WM_QUIT or gave the thread up, so the thread
  // looks at its messages at once instead of when its wait runs out.
  HANDLE endAsked = CreateEvent(nullptr, TRUE, FALSE, nullptr);
  std::mutex lock;
  bool detached = false;  // under lock

  ~Shared() {
    if (endAsked != nullptr) CloseHandle(endAsked);
  }
  bool Detached() {
    std::lock_guard<std::mutex> hold(lock);
    return detached;
  }
  void Detach() {
    std::lock_guard<std::mutex> hold(lock);
    detached = true;
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
    // Waits as GetEvent would, for an event or at most kGetEventWaitMs, and
    // also for End, which then finds WM_QUIT taken at once.
    const HANDLE waits[] = {shared->eventsReady, shared->endAsked};
    WaitForMultipleObjects(2, waits, FALSE, kGetEventWaitMs);
    long code = 0;
    LONG_PTR param1 = 0;
    LONG_PTR param2 = 0;
    if (FAILED(shared->events->GetEvent(&code, &param1, &param2, 0))) continue;
    if (!shared->Detached()) shared->handler(code, param1, param2);
    shared->events->FreeEventParams(code, param1, param2);
  }
}

}  // namespace

std::unique_ptr<GraphEventThread> GraphEventThread::Start(IMediaEvent* events, Handler handler) {
  OAEVENT ready = 0;
  if (events == nullptr || FAILED(events->GetEventHandle(&ready)) || ready == 0) return nullptr;
  std::unique_ptr<GraphEventThread> thread(new GraphEventThread());
  thread->shared_ = std::make_shared<Shared>();
  if (thread->shared_->endAsked == nullptr) return nullptr;
  thread->shared_->events = com::ComPtr<IMediaEvent>(events);
  thread->shared_->eventsReady = reinterpret_cast<HANDLE>(ready);
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
    shared_->Detach();
  }
  SetEvent(shared_->endAsked);
  if (result == EndResult::kEnded && WaitForSingleObject(thread_, timeoutMs) != WAIT_OBJECT_0) {
    result = EndResult::kTimedOut;
    shared_->Detach();
  }
  CloseHandle(std::exchange(thread_, nullptr));
  return result;
}

}  // namespace tlx::engine

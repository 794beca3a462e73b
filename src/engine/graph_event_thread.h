// The graph-event thread of a stream object: reads the graph's events and
// hands each to a handler, checking its thread messages first (WM_QUIT ends
// it). The thread holds its own reference to the graph's IMediaEvent and its
// own copy of the handler, so it may outlive the object that started it when
// it does not end in time: it is then detached, makes no further call to the
// handler and ends after its current one returns.
#pragma once

#include <functional>
#include <memory>

#include "dshow/interfaces.h"

namespace tlx::engine {

class GraphEventThread {
 public:
  // Runs for each event, on the thread, with no lock of the thread's held.
  using Handler = std::function<void(long code, LONG_PTR param1, LONG_PTR param2)>;

  enum class EndResult {
    kEnded,       // the thread took WM_QUIT and ended
    kPostFailed,  // WM_QUIT could not be posted; the thread is detached
    kTimedOut,    // it did not end within the time; it is detached
  };

  // Starts the thread once its message queue exists, so WM_QUIT can always be
  // posted; null when the thread cannot be made or the graph gives no event
  // handle to wait on.
  static std::unique_ptr<GraphEventThread> Start(IMediaEvent* events, Handler handler);
  // Ends the thread if End has not.
  ~GraphEventThread();
  GraphEventThread(const GraphEventThread&) = delete;
  GraphEventThread& operator=(const GraphEventThread&) = delete;

  // Posts WM_QUIT and waits up to `timeoutMs` for the thread, which takes it
  // at once, not only when its wait for the next event runs out.
  EndResult End(DWORD timeoutMs = 5000);
  DWORD ThreadId() const { return threadId_; }

  struct Shared;

 private:
  GraphEventThread() = default;

  std::shared_ptr<Shared> shared_;
  HANDLE thread_ = nullptr;
  DWORD threadId_ = 0;
};

}  // namespace tlx::engine

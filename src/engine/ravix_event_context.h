// What the live class's graph-event thread shares with its object: the
// callbacks as they were when the thread started, and the object itself for
// the work an event asks of it. When the thread is detached (it did not end
// in time) the object stops being reachable: Detach waits for the event work
// in progress and makes every later Enter fail, so the thread can finish its
// current call after the object is gone.
#pragma once

#include <condition_variable>
#include <mutex>

#include "engine/tlx_pc_stm_mode_if.h"

class CTlxPcStmRavixIf;

namespace tlx::engine {

class RavixEventContext {
 public:
  RavixEventContext(CTlxPcStmRavixIf* owner, TlxPcStmNotifyProc notify, TlxPcStmRestartProc restart, void* user)
      : owner_(owner), notify_(notify), restart_(restart), user_(user) {}

  // The object, for one event's work, or null once detached; a non-null
  // result is to be followed by Leave.
  CTlxPcStmRavixIf* Enter() {
    std::lock_guard<std::mutex> hold(lock_);
    if (owner_ != nullptr) ++busy_;
    return owner_;
  }
  void Leave() {
    std::lock_guard<std::mutex> hold(lock_);
    if (--busy_ == 0) idle_.notify_all();
  }
  // No object from now on; returns once no event work is in progress.
  void Detach() {
    std::unique_lock<std::mutex> hold(lock_);
    owner_ = nullptr;
    idle_.wait(hold, [this] { return busy_ == 0; });
  }

  // The callbacks, each called only while the context is not detached.
  void Notify(int event, int ok, int errorId) {
    if (Attached() && notify_ != nullptr) notify_(event, user_, ok, errorId);
  }
  void Restart(int reason) {
    if (Attached() && restart_ != nullptr) restart_(reason, user_);
  }

 private:
  bool Attached() {
    std::lock_guard<std::mutex> hold(lock_);
    return owner_ != nullptr;
  }

  std::mutex lock_;
  std::condition_variable idle_;
  CTlxPcStmRavixIf* owner_;  // under lock_
  int busy_ = 0;             // under lock_
  const TlxPcStmNotifyProc notify_;
  const TlxPcStmRestartProc restart_;
  void* const user_;
};

}  // namespace tlx::engine

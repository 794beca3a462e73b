// Copy-data for windows: a window serves a copy-data endpoint under a class
// and title, and other processes reach it with WM_COPYDATA.
//
// Each call becomes SendMessage(window, WM_COPYDATA, sender, &record) on the
// window's GUI thread, in turn with the messages posted to it; the window's
// BOOL answer is the call's result. The record's bytes are followed by one
// zero byte that cbData does not count. `sender` is a proxy handle standing
// for the caller:
// - SendMessage(sender, WM_COPYDATA, ...) while the call is being handled is
//   a reply: it reaches the caller before its call returns, and the caller's
//   answer is the result.
// - Outside the call it is a notice to the caller's own endpoint (a caller
//   that named one): the proxy queues it and answers TRUE at once, and a
//   worker thread sends it with the notice time-out. A notice that cannot be
//   delivered (the endpoint is gone or does not answer in time) drops the
//   caller: its proxy is destroyed, so IsWindow(sender) turns FALSE and later
//   notices answer 0. The GUI thread never waits for a subscriber.
// - An anonymous caller's proxy is destroyed when its call ends.
// Proxies are not top-level windows: no FindWindow finds them.
#pragma once

#include <memory>

#include "win32/copy_data.h"
#include "win32/types.h"

namespace tlx::mfc {

// How long a notice waits for its subscriber.
inline constexpr DWORD kCopyDataNoticeTimeoutMs = 1000;

class CopyDataWindowEndpoint {
 public:
  // Serves `address` for `window` until destroyed. Null, with the transport's
  // error, when the address cannot be served; ERROR_INVALID_WINDOW_HANDLE when
  // the window does not exist.
  static std::unique_ptr<CopyDataWindowEndpoint> Create(HWND window, const win32::CopyDataAddress& address,
                                                        DWORD noticeTimeoutMs = kCopyDataNoticeTimeoutMs);
  // Stops serving: a call waiting for the window gets 0, queued notices are
  // dropped, every proxy is destroyed. Any thread, also the window's own.
  ~CopyDataWindowEndpoint();
  CopyDataWindowEndpoint(const CopyDataWindowEndpoint&) = delete;
  CopyDataWindowEndpoint& operator=(const CopyDataWindowEndpoint&) = delete;

  const win32::CopyDataAddress& address() const;

  class Core;

 private:
  explicit CopyDataWindowEndpoint(std::shared_ptr<Core> core);
  std::shared_ptr<Core> core_;
};

}  // namespace tlx::mfc

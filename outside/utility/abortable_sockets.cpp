#include <cerrno>
#include <mutex>
#include <set>

#include "utility/tlx_utility.h"
#include "win32/sockets.h"
#include "win32/winsock.h"

namespace {

// The longest a connect waits.
constexpr uint32_t kConnectTimeoutMs = 20000;

struct Registry {
  std::mutex lock;
  std::set<int> registered;
  std::set<int> connecting;
  bool aborted = false;
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

thread_local int lastError = 0;  // Winsock numbering

int Fail(int winsockError) {
  lastError = winsockError;
  return SOCKET_ERROR;
}

}  // namespace

extern "C" void tlxRegisterSocket(int s) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> hold(r.lock);
  r.registered.insert(s);
}

extern "C" void tlxUnregisterSocket(int s) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> hold(r.lock);
  r.registered.erase(s);
}

extern "C" void tlxAbortConnection(void) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> hold(r.lock);
  r.aborted = true;
  for (int s : r.connecting) tlx::win32::WakeBlocked(s);
  for (int s : r.registered) tlx::win32::WakeBlocked(s);
}

extern "C" void tlxInitAbortion(void) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> hold(r.lock);
  r.aborted = false;
}

extern "C" void tlxAbortTaskOnSocket(int s) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> hold(r.lock);
  if (r.registered.count(s) != 0) tlx::win32::WakeBlocked(s);
}

extern "C" int tlxConnect(int s, const struct sockaddr* addr, socklen_t len) {
  Registry& r = TheRegistry();
  {
    // Checked and entered under one lock: an abort either comes first and
    // refuses this connect, or finds it in the set and wakes it.
    std::lock_guard<std::mutex> hold(r.lock);
    if (r.aborted) return Fail(WSAEINTR);
    r.connecting.insert(s);
  }
  const int error = tlx::win32::ConnectWithin(s, addr, len, tlx::win32::DeadlineAfter(kConnectTimeoutMs));
  bool aborted;
  {
    std::lock_guard<std::mutex> hold(r.lock);
    r.connecting.erase(s);
    aborted = r.aborted;
  }
  if (aborted) return Fail(WSAEINTR);
  if (error != 0) return Fail(WinsockError(error));
  lastError = 0;
  return 0;
}

extern "C" int tlxsend(int s, const char* buf, int len, int /*flags*/) {
  if (len < 0 || (buf == nullptr && len > 0)) return Fail(WSAEFAULT);
  const int error = tlx::win32::WriteAll(s, buf, static_cast<size_t>(len), tlx::win32::Deadline::max());
  if (error != 0) return Fail(WinsockError(error));
  lastError = 0;
  return len;
}

extern "C" int GetLastSocketError(void) { return lastError; }

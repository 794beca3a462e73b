#include "link/control/base_probe.h"

#include <netinet/in.h>

#include <mutex>

#include "link/config/tlx_auth_fns.h"
#include "link/os/socket_for_vxworks.h"
#include "link/os/tlx_log.h"
#include "win32/sockets.h"

namespace tlx::link {
namespace {

constexpr uint32_t kConnectMs = 10000;

struct Probe {
  std::mutex lock;
  int socket = -1;  // the connection of a probe under way
  bool aborted = false;
};

Probe& probe() {
  static Probe instance;
  return instance;
}

}  // namespace

void tlxBaseProbeArm() {
  Probe& p = probe();
  std::lock_guard guard(p.lock);
  p.aborted = false;
}

int tlxBaseProbe(const char* host, int port) {
  if (host == nullptr || *host == '\0' || port <= 0 || port > 0xFFFF) return -1;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = tlxResolveHost(host);
  if (address.sin_addr.s_addr == INADDR_NONE) return -1;
  win32::Descriptor socket = win32::OpenSocket(AF_INET, SOCK_STREAM);
  if (!socket) return -1;
  Probe& p = probe();
  {
    std::lock_guard guard(p.lock);
    if (p.aborted) return -1;
    p.socket = socket.get();
  }
  int result = -1;
  if (win32::ConnectWithin(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address,
                           win32::DeadlineAfter(kConnectMs)) == 0) {
    result = tlxAuthAuthentication(socket.get(), host, port, 0);
  }
  {
    std::lock_guard guard(p.lock);
    p.socket = -1;
    if (p.aborted) result = -1;
  }
  tlxLog("[INFO] RavixMgr: base probe result = %d\n", result);
  return result;
}

void tlxBaseProbeAbort() {
  Probe& p = probe();
  std::lock_guard guard(p.lock);
  p.aborted = true;
  if (p.socket >= 0) win32::WakeBlocked(p.socket);
}

}  // namespace tlx::link

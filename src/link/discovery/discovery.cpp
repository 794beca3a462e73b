#include "link/discovery/discovery.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "link/config/identity_read.h"
#include "link/config/link_ports.h"
#include "link/discovery/discovery_ifaces.h"
#include "link/discovery/discovery_text.h"
#include "link/os/socket_for_vxworks.h"
#include "link/os/task_lib.h"
#include "link/os/tlx_log.h"
#include "ses/ses_random.h"
#include "win32/sockets.h"

namespace tlx::link {
namespace {

using win32::Descriptor;

constexpr int kDefaultTimeoutMs = 5000;
constexpr int kBindTries = 8;
constexpr int kFallbackPorts = 2000;
constexpr int kTaskPriority = 96;
constexpr int kTaskStack = 0x4000;
constexpr char kTaskName[] = "tDiscovery";
constexpr int kModelSize = 24;
// How long a stop waits for the task to end.
constexpr auto kStopLimit = std::chrono::seconds(10);

struct Discovery {
  std::mutex lock;
  std::condition_variable ended;
  bool running = false;
  bool stop = false;
  int timeoutMs = kDefaultTimeoutMs;
  int replyPort = 0;  // 0: the port table's
  Descriptor reply;
  std::vector<Descriptor> interfaces;
  Descriptor wake;
  TlxDiscoveryReporter reporter = nullptr;
};

Discovery& state() {
  static Discovery s;
  return s;
}

int FallbackPort() {
  uint8_t bytes[4];
  sesRandomFill(bytes, sizeof bytes);
  uint32_t value;
  std::memcpy(&value, bytes, sizeof value);
  return static_cast<int>(value % kFallbackPorts) + tlxLinkPorts().reply;
}

// Binds a UDP socket to any address and the remembered reply port, then to
// random ports of the fallback range; the port bound is remembered. Empty
// after kBindTries failures or when no socket can be made. Under the lock.
Descriptor BindReply(Discovery& s) {
  int port = s.replyPort != 0 ? s.replyPort : tlxLinkPorts().reply;
  for (int attempt = 0; attempt < kBindTries; ++attempt) {
    Descriptor socket = win32::OpenSocket(AF_INET, SOCK_DGRAM);
    if (!socket) {
      tlxLog("[ERR] socket error\n");
      return {};
    }
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_addr.s_addr = htonl(INADDR_ANY);
    any.sin_port = htons(static_cast<uint16_t>(port));
    if (bind(socket.get(), reinterpret_cast<const sockaddr*>(&any), sizeof any) == 0) {
      s.replyPort = port;
      return socket;
    }
    tlxLog("[ERR] bind port %d failed\n", port);
    port = FallbackPort();
    tlxLog("[ERR] retrying with port %d\n", port);
  }
  tlxLog("[ERR] bind failed. giveup\n");
  return {};
}

// A socket that may broadcast, with the SEARCH sent from it to the entry's
// broadcast address; empty when it cannot be set up.
Descriptor SendSearch(uint32_t broadcast, const std::string& search) {
  Descriptor socket = win32::OpenSocket(AF_INET, SOCK_DGRAM);
  const int on = 1;
  if (!socket || setsockopt(socket.get(), SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) {
    tlxLog("[ERR] SetupDiscovery error\n");
    return {};
  }
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = htonl(broadcast);
  to.sin_port = htons(tlxLinkPorts().search);
  if (sendto(socket.get(), search.data(), search.size(), MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&to),
             sizeof to) != static_cast<ssize_t>(search.size())) {
    tlxLog("[ERR] SendDiscovery error\n");
  }
  return socket;
}

// One complete answer of `datagram` from `from` to the reporter.
void Report(int ifIndex, const char* datagram, size_t length, const sockaddr_in& from) {
  TLX_DISCOVERED_BASE base;
  if (!tlxDiscoveryParseNotify(std::string_view(datagram, length), &base)) return;
  tlxFormatAddress(from.sin_addr, base.address);
  TlxDiscoveryReporter reporter;
  {
    Discovery& s = state();
    std::lock_guard guard(s.lock);
    reporter = s.reporter;
  }
  if (reporter != nullptr) reporter(ifIndex, &base);
}

void DiscoveryTask(intptr_t) {
  Discovery& s = state();
  // The sockets stay open until this task has ended, so their numbers
  // cannot change under the wait.
  std::vector<pollfd> wait;
  int timeoutMs;
  {
    std::lock_guard guard(s.lock);
    wait.push_back({s.reply.get(), POLLIN, 0});
    for (const Descriptor& socket : s.interfaces) wait.push_back({socket.get(), POLLIN, 0});
    wait.push_back({s.wake.get(), POLLIN, 0});
    timeoutMs = s.timeoutMs;
  }
  const size_t sockets = wait.size() - 1;
  while (true) {
    for (pollfd& entry : wait) entry.revents = 0;
    const int ready =
        win32::PollUntil(wait.data(), wait.size(), win32::DeadlineAfter(static_cast<uint32_t>(timeoutMs)));
    {
      std::lock_guard guard(s.lock);
      if (s.stop) break;
    }
    if (ready == 0) break;
    if (ready < 0) {
      tlxLog("[ERR] recvfrom error: %s\n", std::strerror(errno));
      break;
    }
    size_t index = 0;
    while (index < sockets && wait[index].revents == 0) ++index;
    if (index == sockets) continue;
    char datagram[kDiscoveryNotifyMax + 1];
    sockaddr_in from{};
    socklen_t fromSize = sizeof from;
    const ssize_t length =
        recvfrom(wait[index].fd, datagram, kDiscoveryNotifyMax, 0, reinterpret_cast<sockaddr*>(&from), &fromSize);
    if (length < 0) {
      tlxLog("[ERR] recvfrom error: %s\n", std::strerror(errno));
      break;
    }
    {
      std::lock_guard guard(s.lock);
      if (s.stop) break;
    }
    Report(static_cast<int>(index) - 1, datagram, static_cast<size_t>(length), from);
  }
  std::lock_guard guard(s.lock);
  s.reply.reset();
  s.interfaces.clear();
  s.wake.reset();
  s.running = false;
  s.ended.notify_all();
}

}  // namespace

int tlxDiscoveryStart(int timeoutMs) {
  Discovery& s = state();
  std::lock_guard guard(s.lock);
  if (s.running) {
    tlxLog("[ERR] DiscoveryTask already exists.\n");
    return -1;
  }
  char model[kModelSize];
  if (tlxIdentityRead(4100, sizeof model, model) != 0) model[0] = '\0';
  s.stop = false;
  s.timeoutMs = timeoutMs > 0 ? timeoutMs : kDefaultTimeoutMs;
  const std::vector<uint32_t> broadcasts = tlxDiscoveryBroadcasts(tlxDiscoveryInterfaces(), tlxDiscoveryExtraRanges());
  Descriptor reply = BindReply(s);
  Descriptor wake(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (!reply || !wake) return -1;
  const std::string search = tlxDiscoverySearchText(model, kDiscoveryReplyMode, s.replyPort);
  std::vector<Descriptor> interfaces;
  for (uint32_t broadcast : broadcasts) {
    Descriptor socket = SendSearch(broadcast, search);
    if (socket) interfaces.push_back(std::move(socket));
  }
  s.reply = std::move(reply);
  s.interfaces = std::move(interfaces);
  s.wake = std::move(wake);
  if (taskSpawn(kTaskName, kTaskPriority, 0, kTaskStack, DiscoveryTask, 0) == -1) {
    s.reply.reset();
    s.interfaces.clear();
    s.wake.reset();
    return -1;
  }
  s.running = true;
  return 0;
}

int tlxDiscoveryStop() {
  Discovery& s = state();
  std::unique_lock lock(s.lock);
  if (!s.running) return 0;
  s.stop = true;
  const uint64_t one = 1;
  if (write(s.wake.get(), &one, sizeof one) != sizeof one) tlxLog("[ERR] discovery wake failed\n");
  if (!s.ended.wait_for(lock, kStopLimit, [&] { return !s.running; })) {
    tlxLog("[ERR] DiscoveryTask did not end\n");
  }
  return 0;
}

int tlxDiscoveryHoldPort(int ms) {
  Descriptor held;
  {
    Discovery& s = state();
    std::lock_guard guard(s.lock);
    held = BindReply(s);
  }
  if (!held) return -1;
  if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  return 0;
}

void tlxDiscoverySetReporter(TlxDiscoveryReporter reporter) {
  Discovery& s = state();
  std::lock_guard guard(s.lock);
  s.reporter = reporter;
}

bool tlxDiscoveryRunning() {
  Discovery& s = state();
  std::lock_guard guard(s.lock);
  return s.running;
}

int tlxDiscoveryReplyPort() {
  Discovery& s = state();
  std::lock_guard guard(s.lock);
  return s.replyPort != 0 ? s.replyPort : tlxLinkPorts().reply;
}

}  // namespace tlx::link

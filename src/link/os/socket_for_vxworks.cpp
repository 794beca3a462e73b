#include "link/os/socket_for_vxworks.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <fcntl.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

#include "link/os/tlx_log.h"
#include "win32/sockets.h"
#include "win32/ticks.h"

namespace tlx::link {
namespace {

using win32::Deadline;
using win32::DeadlineAfter;

constexpr int kFirstLocalPort = 10000;
constexpr int kLastLocalPort = 19999;
constexpr int kConnectTries = 3;
constexpr LONG kConnectTimeoutMs = 5000;

std::atomic<int> g_nextLocalPort{kFirstLocalPort};

int NextLocalPort() {
  int port = g_nextLocalPort.load();
  while (!g_nextLocalPort.compare_exchange_weak(port, port >= kLastLocalPort ? kFirstLocalPort : port + 1)) {
  }
  return port;
}

// The wait between two attempts: one tick.
Deadline OneTick() { return DeadlineAfter(TimeoutMilliseconds(1, TimeoutUnit::kTicks)); }

// Close resets the connection instead of lingering.
int SetNoLinger(SOCKET socket) {
  const linger off{1, 0};
  return tlxSetSockOpt(socket, SOL_SOCKET, SO_LINGER, &off, sizeof off);
}

bool ToSocketAddress(const char* text, uint16_t port, sockaddr_in* out) {
  *out = sockaddr_in{};
  out->sin_family = AF_INET;
  out->sin_port = htons(port);
  return tlxParseAddress(text, &out->sin_addr) == 0;
}

void ToAddressRecord(const sockaddr_in& from, TLX_SOCK_ADDR* out) {
  if (out == nullptr) return;
  out->port = ntohs(from.sin_port);
  if (tlxFormatAddress(from.sin_addr, out->address) == nullptr) out->address[0] = '\0';
}

bool WouldBlock() { return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR; }

}  // namespace

// An operation in progress: holds the descriptor as it was when the operation
// began, so that close() from another thread waits for it before the number
// can be reused.
class SocketForVxWorks::Use {
 public:
  explicit Use(SocketForVxWorks& owner) : owner_(owner) {
    std::lock_guard lock(owner_.lock_);
    ++owner_.users_;
    socket_ = owner_.socket_.load();
  }
  ~Use() {
    std::lock_guard lock(owner_.lock_);
    if (--owner_.users_ == 0) owner_.idle_.notify_all();
  }
  Use(const Use&) = delete;
  Use& operator=(const Use&) = delete;

  SOCKET socket() const { return socket_; }
  // False once the owner has no socket, or closed this one meanwhile.
  bool open() const { return socket_ != INVALID_SOCKET && owner_.socket_.load() == socket_; }

 private:
  SocketForVxWorks& owner_;
  SOCKET socket_;
};

SocketForVxWorks::~SocketForVxWorks() { close(); }

int SocketForVxWorks::open(int type) {
  std::lock_guard lock(lock_);
  if (socket_.load() != INVALID_SOCKET) return -1;
  win32::Descriptor socket = win32::OpenSocket(AF_INET, type);
  if (!socket || SetNoLinger(socket.get()) != 0) return -1;
  socket_ = socket.release();
  return 0;
}

int SocketForVxWorks::connect(const TLX_SOCK_ADDR& address) {
  const Use use(*this);
  sockaddr_in remote;
  if (!use.open() || !ToSocketAddress(address.address, address.port, &remote)) return -1;
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(static_cast<uint16_t>(NextLocalPort()));
  local.sin_addr.s_addr = htonl(INADDR_ANY);
  // A port still in use from an earlier connection only costs the choice.
  ::bind(use.socket(), reinterpret_cast<const sockaddr*>(&local), sizeof local);
  for (int attempt = 0; attempt < kConnectTries && use.open(); ++attempt) {
    if (tlxConnectTimeout(use.socket(), remote, TimeoutMilliseconds(kConnectTimeoutMs, TimeoutUnit::kMilliseconds)) ==
        0) {
      return 0;
    }
  }
  return -1;
}

int SocketForVxWorks::bind(const char* address, uint16_t port) {
  const Use use(*this);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(port);
  // The player's fixed address stands for every local one.
  if (address == nullptr || std::strcmp(address, "127.0.0.1") == 0) {
    local.sin_addr.s_addr = htonl(INADDR_ANY);
  } else if (tlxParseAddress(address, &local.sin_addr) != 0) {
    errno = EINVAL;
    return SOCKET_ERROR;
  }
  return ::bind(use.socket(), reinterpret_cast<const sockaddr*>(&local), sizeof local);
}

int SocketForVxWorks::listen(int backlog) {
  const Use use(*this);
  return ::listen(use.socket(), backlog);
}

void SocketForVxWorks::Adopt(SOCKET socket) {
  std::lock_guard lock(lock_);
  socket_ = socket;
}

int SocketForVxWorks::AcceptInto(SocketForVxWorks& into, TLX_SOCK_ADDR* peer, int tries) {
  if (into.handle() != INVALID_SOCKET) {
    tlxLog("[ERR] [SocketForVxWorks] NOT INVALID_SOCKET %d\n", into.handle());
    return -1;
  }
  const Use use(*this);
  for (int attempt = 0; tries < 0 || attempt < tries; ++attempt) {
    if (!use.open()) break;
    if (tries >= 0 && win32::WaitReady(use.socket(), POLLIN, OneTick()) == 0) continue;
    sockaddr_in from{};
    socklen_t length = sizeof from;
    win32::Descriptor accepted(accept4(use.socket(), reinterpret_cast<sockaddr*>(&from), &length,
                                       SOCK_CLOEXEC | (tries < 0 ? 0 : SOCK_NONBLOCK)));
    if (!accepted) {
      if (tries >= 0 && WouldBlock()) continue;
      return -1;
    }
    if (tries >= 0) {  // the accepted socket blocks, as one accepted without retries does
      const int flags = fcntl(accepted.get(), F_GETFL);
      fcntl(accepted.get(), F_SETFL, flags & ~O_NONBLOCK);
    }
    SetNoLinger(accepted.get());
    ToAddressRecord(from, peer);
    const SOCKET socket = accepted.release();
    into.Adopt(socket);
    return socket;
  }
  return -2;
}

int SocketForVxWorks::acceptFrom(SocketForVxWorks& into, TLX_SOCK_ADDR* peer, int tries) {
  return AcceptInto(into, peer, tries);
}

int SocketForVxWorks::accept(SocketForVxWorks& into, int tries) { return AcceptInto(into, nullptr, tries); }

int SocketForVxWorks::shutdown(int how) {
  const Use use(*this);
  return ::shutdown(use.socket(), how);
}

int SocketForVxWorks::close() {
  std::unique_lock lock(lock_);
  const SOCKET socket = socket_.exchange(INVALID_SOCKET);
  if (socket == INVALID_SOCKET) return 0;
  if (users_ > 0) {
    // Closing alone would not wake them, and the number could be reused
    // under them: wake them and wait until they let go.
    win32::WakeBlocked(socket);
    idle_.wait(lock, [this] { return users_ == 0; });
  }
  return closesocket(socket) == 0 ? 0 : -1;
}

int SocketForVxWorks::receive(void* buffer, int size, int tries) {
  const Use use(*this);
  if (size < 0) return -1;
  if (tries < 0) return static_cast<int>(recv(use.socket(), buffer, static_cast<size_t>(size), 0));
  for (int attempt = 0; attempt < tries && use.open(); ++attempt) {
    if (win32::WaitReady(use.socket(), POLLIN, OneTick()) == 0) continue;
    const ssize_t got = recv(use.socket(), buffer, static_cast<size_t>(size), MSG_DONTWAIT);
    if (got >= 0) return static_cast<int>(got);
    if (!WouldBlock()) return -1;
  }
  return -2;
}

int SocketForVxWorks::send(const void* bytes, int length, int tries) {
  const Use use(*this);
  if (length < 0) return -1;
  if (tries < 0) return static_cast<int>(::send(use.socket(), bytes, static_cast<size_t>(length), MSG_NOSIGNAL));
  const auto* rest = static_cast<const char*>(bytes);
  int sent = 0;
  for (int attempt = 0; attempt < tries && use.open(); ++attempt) {
    const ssize_t result =
        ::send(use.socket(), rest + sent, static_cast<size_t>(length - sent), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (result >= 0) {
      sent += static_cast<int>(result);
      if (sent == length) return sent;
      continue;
    }
    if (!WouldBlock()) return SOCKET_ERROR;
    win32::WaitReady(use.socket(), POLLOUT, OneTick());
  }
  return -2;
}

int SocketForVxWorks::setOption(int option, const void* value, int length) {
  const Use use(*this);
  return tlxSetSockOpt(use.socket(), SOL_SOCKET, option, value, length);
}

int SocketForVxWorks::receiveFrom(void* buffer, int size, TLX_SOCK_ADDR* peer, int timeoutMs) {
  const Use use(*this);
  if (size < 0) return -1;
  const Deadline deadline = timeoutMs == 0  ? Deadline::max()
                            : timeoutMs < 0 ? DeadlineAfter(0)
                                            : DeadlineAfter(TimeoutMilliseconds(timeoutMs, TimeoutUnit::kMilliseconds));
  if (win32::WaitReady(use.socket(), POLLIN, deadline) != 1) return -1;
  sockaddr_in from{};
  socklen_t fromLength = sizeof from;
  // MSG_TRUNC gives the datagram's full length, so a cut one shows.
  const ssize_t got = recvfrom(use.socket(), buffer, static_cast<size_t>(size), MSG_TRUNC | MSG_DONTWAIT,
                               reinterpret_cast<sockaddr*>(&from), &fromLength);
  if (got < 0) return -1;
  ToAddressRecord(from, peer);
  return static_cast<int>(got);
}

int SocketForVxWorks::sendTo(const void* bytes, int length, const TLX_SOCK_ADDR& address) {
  const Use use(*this);
  sockaddr_in to;
  if (length < 0 || !ToSocketAddress(address.address, address.port, &to)) {
    errno = EINVAL;
    return SOCKET_ERROR;
  }
  return static_cast<int>(sendto(use.socket(), bytes, static_cast<size_t>(length), MSG_NOSIGNAL,
                                 reinterpret_cast<const sockaddr*>(&to), sizeof to));
}

in_addr_t tlxResolveHost(const char* name) {
  if (name == nullptr) return INADDR_NONE;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  addrinfo* found = nullptr;
  if (getaddrinfo(name, nullptr, &hints, &found) != 0 || found == nullptr) return INADDR_NONE;
  const in_addr_t address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
  freeaddrinfo(found);
  return address;
}

int tlxParseAddress(const char* text, in_addr* out) {
  return text != nullptr && out != nullptr && inet_pton(AF_INET, text, out) == 1 ? 0 : -1;
}

char* tlxFormatAddress(const in_addr& address, char* out) {
  if (out == nullptr || inet_ntop(AF_INET, &address, out, INET_ADDRSTRLEN) == nullptr) return nullptr;
  return out + std::strlen(out) + 1;
}

int tlxConnectTimeout(SOCKET socket, const sockaddr_in& address, DWORD timeoutMs) {
  return win32::ConnectWithin(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address,
                              DeadlineAfter(timeoutMs)) == 0
             ? 0
             : -1;
}

int tlxSetSockOpt(SOCKET socket, int level, int option, const void* value, int length) {
  const int result = setsockopt(socket, level, option, value, static_cast<socklen_t>(length));
  if (result != 0 && level == SOL_SOCKET && option == SO_LINGER && errno == ENOPROTOOPT) return 0;
  return result;
}

char* tlxNextToken(char* text, const char* delimiters, char** context) {
  if (context == nullptr) return nullptr;
  char* start = text != nullptr ? text : *context;
  if (start == nullptr || *start == '\0') {
    *context = start;
    return nullptr;
  }
  const size_t length = std::strcspn(start, delimiters != nullptr ? delimiters : "");
  if (start[length] == '\0') {
    *context = start + length;
  } else {
    start[length] = '\0';
    *context = start + length + 1;
  }
  return start;
}

int tlxSocketPortCounter() { return g_nextLocalPort.load(); }

void tlxSetSocketPortCounter(int port) {
  g_nextLocalPort = port < kFirstLocalPort || port > kLastLocalPort ? kFirstLocalPort : port;
}

}  // namespace tlx::link

#include "win32/sockets.h"

#include <fcntl.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

namespace tlx::win32 {
namespace {

// Waits for a non-blocking connect in progress and reads its outcome.
int AwaitConnect(int socket, Deadline deadline) {
  const int ready = WaitReady(socket, POLLOUT, deadline);
  if (ready == 0) return ETIMEDOUT;
  if (ready < 0) return errno;
  int error = 0;
  socklen_t length = sizeof error;
  if (getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return errno;
  if (error != 0) return error;
  // A connect cut short by WakeBlocked can leave no error behind.
  sockaddr_storage peer{};
  socklen_t peerLength = sizeof peer;
  return getpeername(socket, reinterpret_cast<sockaddr*>(&peer), &peerLength) == 0 ? 0 : ECONNABORTED;
}

// A Unix-domain connect refused for a full queue cannot be polled for; a
// blocking connect with a send time-out waits for room in the queue instead.
int ConnectUnixWaiting(int socket, int flags, const sockaddr* address, socklen_t length, Deadline deadline) {
  timeval saved{};
  socklen_t savedLength = sizeof saved;
  if (getsockopt(socket, SOL_SOCKET, SO_SNDTIMEO, &saved, &savedLength) != 0) return errno;
  if (fcntl(socket, F_SETFL, flags & ~O_NONBLOCK) != 0) return errno;
  int error = EAGAIN;
  while (error == EAGAIN || error == EINTR) {
    const int left = MillisecondsLeft(deadline);
    if (left == 0) {
      error = ETIMEDOUT;
      break;
    }
    // A zero send time-out means no limit, which is what -1 asks for.
    const timeval wait = left < 0 ? timeval{} : timeval{left / 1000, (left % 1000) * 1000};
    if (setsockopt(socket, SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof wait) != 0) {
      error = errno;
      break;
    }
    error = connect(socket, address, length) == 0 ? 0 : errno;
    if (error == EINPROGRESS) error = EAGAIN;
  }
  setsockopt(socket, SOL_SOCKET, SO_SNDTIMEO, &saved, sizeof saved);
  return error;
}

}  // namespace

Deadline DeadlineAfter(uint32_t milliseconds) {
  if (milliseconds == 0xFFFFFFFF) return Deadline::max();
  return SocketClock::now() + std::chrono::milliseconds(milliseconds);
}

void Descriptor::reset(int fd) {
  if (fd_ >= 0 && fd_ != fd) ::close(fd_);
  fd_ = fd;
}

Descriptor OpenSocket(int domain, int type, int protocol) {
  return Descriptor(::socket(domain, type | SOCK_CLOEXEC, protocol));
}

void WakeBlocked(int socket) { ::shutdown(socket, SHUT_RDWR); }

int MillisecondsLeft(Deadline deadline) {
  if (deadline == Deadline::max()) return -1;
  // Rounded up, so a wait of a millisecond or less still waits.
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - SocketClock::now()).count();
  if (left <= 0) return 0;
  return left > INT_MAX ? INT_MAX : static_cast<int>(left);
}

int PollUntil(pollfd* entries, nfds_t count, Deadline deadline) {
  for (;;) {
    const int ready = poll(entries, count, MillisecondsLeft(deadline));
    if (ready >= 0 || errno != EINTR) return ready;
  }
}

int WaitReady(int socket, short events, Deadline deadline) {
  pollfd entry{socket, events, 0};
  const int ready = PollUntil(&entry, 1, deadline);
  return ready > 0 ? 1 : ready;
}

int ConnectWithin(int socket, const sockaddr* address, socklen_t length, Deadline deadline) {
  const int flags = fcntl(socket, F_GETFL);
  if (flags < 0) return errno;
  if ((flags & O_NONBLOCK) == 0 && fcntl(socket, F_SETFL, flags | O_NONBLOCK) != 0) return errno;
  int error = connect(socket, address, length) == 0 ? 0 : errno;
  // EALREADY: an earlier connect on this socket is still under way.
  if (error == EINPROGRESS || error == EINTR || error == EALREADY) {
    error = AwaitConnect(socket, deadline);
  } else if (error == EAGAIN && address->sa_family == AF_UNIX) {
    error = ConnectUnixWaiting(socket, flags, address, length, deadline);
  }
  if (fcntl(socket, F_SETFL, flags) != 0 && error == 0) error = errno;
  return error;
}

int WriteAll(int socket, const void* data, size_t size, Deadline deadline) {
  const auto* bytes = static_cast<const char*>(data);
  for (;;) {
    // Sent even when empty: on a datagram socket that is a message of its own.
    const ssize_t sent = send(socket, bytes, size, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent >= 0) {
      bytes += sent;
      size -= static_cast<size_t>(sent);
      if (size == 0) return 0;
      if (sent == 0) return EPIPE;
      continue;
    }
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return errno;
    const int ready = WaitReady(socket, POLLOUT, deadline);
    if (ready == 0) return ETIMEDOUT;
    if (ready < 0) return errno;
  }
}

int ReadAll(int socket, void* data, size_t size, Deadline deadline) {
  auto* bytes = static_cast<char*>(data);
  while (size > 0) {
    const ssize_t got = recv(socket, bytes, size, MSG_DONTWAIT);
    if (got > 0) {
      bytes += got;
      size -= static_cast<size_t>(got);
      continue;
    }
    if (got == 0) return ECONNRESET;
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return errno;
    const int ready = WaitReady(socket, POLLIN, deadline);
    if (ready == 0) return ETIMEDOUT;
    if (ready < 0) return errno;
  }
  return 0;
}

long ReadSome(int socket, void* data, size_t size, Deadline deadline) {
  for (;;) {
    const ssize_t got = recv(socket, data, size, MSG_DONTWAIT);
    if (got >= 0) return got;
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return -1;
    const int ready = WaitReady(socket, POLLIN, deadline);
    if (ready == 0) {
      errno = ETIMEDOUT;
      return -1;
    }
    if (ready < 0) return -1;
  }
}

int SetReceiveBuffer(int socket, int bytes) {
  if (setsockopt(socket, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes) != 0) return -1;
  int granted = 0;
  socklen_t length = sizeof granted;
  if (getsockopt(socket, SOL_SOCKET, SO_RCVBUF, &granted, &length) != 0) return -1;
  return granted;
}

}  // namespace tlx::win32

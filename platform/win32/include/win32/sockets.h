// Socket glue: an owning descriptor, connects with a time limit, transfers
// bounded by a deadline, and the wake-up of a call blocked in another thread.
// Every socket of the player goes through these; nothing else closes one.
//
// Failures are reported as errno values (0 for success), which winsock.h turns
// into the Winsock numbers where a caller wants those.
#pragma once

#include <poll.h>
#include <sys/socket.h>

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace tlx::win32 {

using SocketClock = std::chrono::steady_clock;
// The moment a wait gives up; Deadline::max() waits without limit.
using Deadline = SocketClock::time_point;

// The deadline `milliseconds` from now; INFINITE (0xFFFFFFFF) gives no limit.
Deadline DeadlineAfter(uint32_t milliseconds);

// Owns one descriptor (a socket, or the event descriptor that wakes a poll) and
// closes it exactly once: on destruction, on reset, or on assignment of another.
// Moving hands the descriptor over and leaves the source empty (-1).
class Descriptor {
 public:
  Descriptor() = default;
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() { reset(); }
  Descriptor(Descriptor&& other) noexcept : fd_(other.release()) {}
  Descriptor& operator=(Descriptor&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  explicit operator bool() const { return valid(); }

  // Gives the descriptor up without closing it (to a caller that owns it from
  // then on); -1 when empty.
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  // Closes the held descriptor, if any, and holds `fd` instead.
  void reset(int fd = -1);

 private:
  int fd_ = -1;
};

// A new socket, close-on-exec (and non-blocking when `type` says so); empty
// with errno set on failure.
Descriptor OpenSocket(int domain, int type, int protocol = 0);

// Wakes every call blocked on the socket in another thread (a poll, a receive,
// a send, a TCP connect): both directions are shut down, so those calls return
// at once and later ones fail. The descriptor stays open, so its number cannot
// be reused under a thread still holding it; its owner closes it afterwards.
void WakeBlocked(int socket);

// Milliseconds left until the deadline for poll, rounded up: 0 once it has
// passed, -1 for Deadline::max().
int MillisecondsLeft(Deadline deadline);

// poll over the entries until one is ready or the deadline passes, repeating
// after a signal. poll's result: the number of ready entries, 0 on time-out,
// -1 on error.
int PollUntil(pollfd* entries, nfds_t count, Deadline deadline);

// Waits until the socket is ready for `events` (POLLIN, POLLOUT) or the
// deadline passes: 1 ready (an error or hang-up counts as ready, the next call
// reports it), 0 time-out, -1 error.
int WaitReady(int socket, short events, Deadline deadline);

// Connects the socket to the address before the deadline. The socket keeps its
// blocking mode. The connect's outcome is read from SO_ERROR, so a refused
// connect is never taken for a finished one. A Unix-domain listener whose queue
// of waiting connections is full is waited for until the deadline. 0, or the
// errno value: ETIMEDOUT when the deadline passed, ECONNREFUSED, ENOENT, ...
int ConnectWithin(int socket, const sockaddr* address, socklen_t length, Deadline deadline);

// Sends all `size` bytes before the deadline (partial sends are continued;
// SIGPIPE is never raised). On a datagram socket they are one datagram, sent
// whole or not at all, also when empty. 0, ETIMEDOUT, or the send's errno value (EPIPE,
// ECONNRESET, ...).
int WriteAll(int socket, const void* data, size_t size, Deadline deadline);

// Receives exactly `size` bytes before the deadline. 0, ETIMEDOUT, ECONNRESET
// when the peer closed before all of them arrived, or the receive's errno value.
int ReadAll(int socket, void* data, size_t size, Deadline deadline);

// Receives what is available, at most `size` bytes, waiting until the deadline
// for the first of them (a deadline already passed reads without waiting). The
// number of bytes received, 0 when the peer closed or the socket was shut down,
// or -1 with errno set: ETIMEDOUT when nothing came before the deadline.
long ReadSome(int socket, void* data, size_t size, Deadline deadline);

// Asks for a receive buffer of `bytes` and returns the size the kernel then
// reports (Linux doubles the request for its own bookkeeping, within its
// limits), or -1 with errno set.
int SetReceiveBuffer(int socket, int bytes);

}  // namespace tlx::win32

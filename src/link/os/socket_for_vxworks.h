// The link library's socket class and address functions: IPv4 sockets with
// the retry habits of the embedded system the managers come from. Retries are
// paced in ticks of 1/60 s (scaled by TLX_TICK_SCALE); "tries" counts the
// attempts, and -2 always means that nothing happened within them, as
// distinct from a platform error.
#pragma once

#include <netinet/in.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "win32/winsock.h"

namespace tlx::link {

// An address as the operations take and give it: a port and dotted text.
struct TLX_SOCK_ADDR {
  uint16_t port;
  char address[16];
};

class SocketForVxWorks {
 public:
  SocketForVxWorks() = default;
  virtual ~SocketForVxWorks();
  SocketForVxWorks(const SocketForVxWorks&) = delete;
  SocketForVxWorks& operator=(const SocketForVxWorks&) = delete;

  // An IPv4 socket of `type` (SOCK_STREAM or SOCK_DGRAM) whose close resets
  // the connection. -1 when a socket is open already (it is kept) or on failure.
  virtual int open(int type);
  // Binds any local address and the next port of the counter, then tries a
  // 5-second connect up to 3 times while the socket stays open. 0 or -1.
  virtual int connect(const TLX_SOCK_ADDR& address);
  // "127.0.0.1" and null both bind any address (0.0.0.0). bind's result.
  virtual int bind(const char* address, uint16_t port);
  virtual int listen(int backlog);
  // `into` must hold no socket (else -1, logged). tries < 0: one blocking
  // accept. Else up to `tries` attempts a tick apart. The accepted socket is
  // stored in `into` and returned; an error returns -1; none came: -2.
  // acceptFrom also writes the peer's address.
  virtual int acceptFrom(SocketForVxWorks& into, TLX_SOCK_ADDR* peer, int tries);
  virtual int accept(SocketForVxWorks& into, int tries);
  virtual int shutdown(int how);
  // Closes the socket; may be called from another thread to stop a blocked or
  // retrying operation, which it wakes and waits for before the descriptor
  // goes. 0 without a socket, -1 when the platform reported an error.
  virtual int close();
  // tries < 0: one plain receive. Else up to `tries` attempts a tick apart:
  // the length of what came; -1 on an error; -2 when nothing came or the
  // socket was closed meanwhile.
  virtual int receive(void* buffer, int size, int tries);
  // tries < 0: one plain send. Else up to `tries` attempts a tick apart,
  // continuing after partial sends: the total, the platform error (-1), or -2.
  virtual int send(const void* bytes, int length, int tries);
  // setsockopt at socket level.
  virtual int setOption(int option, const void* value, int length);
  // Waits until a datagram is there (timeoutMs 0: no limit; below 0: takes
  // only one that is there already) and takes it: its full length, which is larger than `size` when it did not fit (the rest is
  // lost), and the sender's address. -1 on time-out or error.
  virtual int receiveFrom(void* buffer, int size, TLX_SOCK_ADDR* peer, int timeoutMs);
  // One datagram to the address: sendto's result.
  virtual int sendTo(const void* bytes, int length, const TLX_SOCK_ADDR& address);

  SOCKET handle() const { return socket_.load(); }

 private:
  class Use;
  // Takes a socket made elsewhere (an accepted one).
  void Adopt(SOCKET socket);
  int AcceptInto(SocketForVxWorks& into, TLX_SOCK_ADDR* peer, int tries);

  std::atomic<SOCKET> socket_{INVALID_SOCKET};
  std::mutex lock_;                // guards users_
  std::condition_variable idle_;  // users_ fell to 0
  int users_ = 0;                 // operations running on the descriptor
};

// The first IPv4 address of a host name (network order), or INADDR_NONE.
in_addr_t tlxResolveHost(const char* name);
// 0 with the address of dotted text, or -1.
int tlxParseAddress(const char* text, in_addr* out);
// Writes the dotted text of the address into `out` (16 bytes) and returns the
// position after its NUL; null when it cannot be formatted.
char* tlxFormatAddress(const in_addr& address, char* out);
// Connects with a time-out in milliseconds: 0 once the connect has finished
// (its outcome read from SO_ERROR, so a refused connect fails), else -1. The
// socket keeps its blocking mode.
int tlxConnectTimeout(SOCKET socket, const sockaddr_in& address, DWORD timeoutMs);
// setsockopt, except that SO_LINGER refused as not supported by the protocol
// counts as success (0).
int tlxSetSockOpt(SOCKET socket, int level, int option, const void* value, int length);
// The next token of `text` (or, when null, of the saved context) up to the
// first delimiter, which is overwritten with NUL. Empty tokens are returned;
// null once no characters are left.
char* tlxNextToken(char* text, const char* delimiters, char** context);

// The local port the next connect binds (10000..19999), for tests.
int tlxSocketPortCounter();
void tlxSetSocketPortCounter(int port);

}  // namespace tlx::link

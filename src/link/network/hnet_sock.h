// The transports of the "HNET" group: how control messages leave for the
// base station and come back. One object is one side (receive or send) of
// one kind: UDP on the local network, an inert stand-in, or the internet
// link of the link-manager client.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "link/os/socket_for_vxworks.h"

namespace tlx::link {

// The socket kinds of the home-network manager.
enum HnetSockKind : int {
  kHnetSockUdp = 0,
  kHnetSockInert = 1,
  kHnetSockLink = 2,
  kHnetSockNone = 3,
};

// Largest control message: header and 1024 payload bytes.
inline constexpr int kHnetDatagramMax = 1040;

// Where a side is bound (`local`) and where it sends (`remote`).
struct HnetAddr {
  TLX_SOCK_ADDR local{};
  TLX_SOCK_ADDR remote{};
};

class HnetMgrSock {
 public:
  virtual ~HnetMgrSock() = default;
  // Opens the side on its record. 0 or -1.
  virtual int Open(const HnetAddr& address) = 0;
  // Closes it; wakes a receive that waits. May be called from any thread.
  virtual int Close() = 0;
  // Waits up to `timeoutMs` for one message (0: takes only one that is
  // there already). Its length (at most `size`),
  // 0 when nothing came, -1 when the side is closed or failed, -2 for a
  // message refused for its size (logged). `from` gets the sender's
  // address text where the transport has one, else "".
  virtual int Recv(uint8_t* buffer, int size, std::string* from, int timeoutMs) = 0;
  // Sends one message to the remote end: the length sent, or -1.
  virtual int Send(const void* bytes, int length) = 0;
};

// A side of the kind; null for kHnetSockNone or an unknown kind.
std::unique_ptr<HnetMgrSock> HnetMgrSockCreate(int kind);

// The link-manager client's receive callback: hands one control message to
// the open receive side of the internet link. Waits at most 60 ticks for
// the side to take the previous one, then drops it (logged); dropped too
// while no such side is open, or when longer than kHnetDatagramMax.
void HnetMgrSockLinkDeliver(const uint8_t* data, uint32_t length);

}  // namespace tlx::link

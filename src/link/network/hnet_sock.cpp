#include "link/network/hnet_sock.h"

#include <sys/socket.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>

#include "link/network/link_mgr_client.h"
#include "link/os/tlx_log.h"
#include "win32/ticks.h"

namespace tlx::link {
namespace {

// UDP on the local network.
class HnetMgrSockUdp final : public HnetMgrSock {
 public:
  int Open(const HnetAddr& address) override {
    remote_ = address.remote;
    if (socket_.open(SOCK_DGRAM) != 0) return -1;
    if (socket_.bind(address.local.address, address.local.port) != 0) {
      socket_.close();
      return -1;
    }
    return 0;
  }
  int Close() override { return socket_.close(); }
  int Recv(uint8_t* buffer, int size, std::string* from, int timeoutMs) override {
    if (socket_.handle() == INVALID_SOCKET) return -1;
    TLX_SOCK_ADDR peer{};
    const int got = socket_.receiveFrom(buffer, size, &peer, timeoutMs == 0 ? -1 : timeoutMs);
    if (got < 0) return socket_.handle() == INVALID_SOCKET ? -1 : 0;
    if (from != nullptr) *from = peer.address;
    if (got > size) {
      tlxLog("[ERR] %s : packet is too big!! size=%d\n", "RecvDgram", got);
      return -2;
    }
    return got;
  }
  int Send(const void* bytes, int length) override {
    const int sent = socket_.sendTo(bytes, length, remote_);
    return sent == length ? sent : -1;
  }

 private:
  SocketForVxWorks socket_;
  TLX_SOCK_ADDR remote_{};
};

// Every operation succeeds and does nothing; a receive waits out its time.
class HnetMgrSockInert final : public HnetMgrSock {
 public:
  int Open(const HnetAddr&) override {
    std::lock_guard guard(lock_);
    closed_ = false;
    return 0;
  }
  int Close() override {
    std::lock_guard guard(lock_);
    closed_ = true;
    changed_.notify_all();
    return 0;
  }
  int Recv(uint8_t*, int, std::string* from, int timeoutMs) override {
    if (from != nullptr) from->clear();
    std::unique_lock lock(lock_);
    changed_.wait_for(lock, std::chrono::milliseconds(TimeoutMilliseconds(timeoutMs, TimeoutUnit::kMilliseconds)),
                      [this] { return closed_; });
    return 0;
  }
  int Send(const void*, int length) override { return length; }

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  bool closed_ = false;
};

// The one slot between the link's receive thread and the open receive side
// of the internet link.
struct LinkInbox {
  std::mutex lock;
  std::condition_variable changed;
  int openReceivers = 0;  // under lock
  bool full = false;      // under lock
  int length = 0;         // under lock
  uint8_t data[kHnetDatagramMax];
};

LinkInbox& inbox() {
  static LinkInbox instance;
  return instance;
}

// The internet link through the link-manager client.
class HnetMgrSockLink final : public HnetMgrSock {
 public:
  ~HnetMgrSockLink() override { Close(); }
  int Open(const HnetAddr&) override {
    LinkInbox& box = inbox();
    {
      std::lock_guard guard(box.lock);
      if (open_) return 0;
      open_ = true;
      ++box.openReceivers;
    }
    return tlxLinkMgrSetCallback(HnetMgrSockLinkDeliver) == 0 ? 0 : -1;
  }
  int Close() override {
    LinkInbox& box = inbox();
    std::lock_guard guard(box.lock);
    if (!open_) return 0;
    open_ = false;
    if (--box.openReceivers == 0) box.full = false;
    box.changed.notify_all();
    return 0;
  }
  int Recv(uint8_t* buffer, int size, std::string* from, int timeoutMs) override {
    if (from != nullptr) from->clear();
    LinkInbox& box = inbox();
    std::unique_lock lock(box.lock);
    box.changed.wait_for(lock,
                         std::chrono::milliseconds(TimeoutMilliseconds(timeoutMs, TimeoutUnit::kMilliseconds)),
                         [&] { return box.full || !open_; });
    if (!open_) return -1;
    if (!box.full) return 0;
    const int length = box.length <= size ? box.length : size;
    std::memcpy(buffer, box.data, length);
    box.full = false;
    box.changed.notify_all();
    return length;
  }
  int Send(const void* bytes, int length) override {
    if (length < 0 || length > kHnetDatagramMax) return -1;
    return tlxLinkMgrCall(bytes, static_cast<uint16_t>(length)) == S_OK ? length : -1;
  }

 private:
  bool open_ = false;  // under the inbox's lock
};

}  // namespace

std::unique_ptr<HnetMgrSock> HnetMgrSockCreate(int kind) {
  switch (kind) {
    case kHnetSockUdp:
      return std::make_unique<HnetMgrSockUdp>();
    case kHnetSockInert:
      return std::make_unique<HnetMgrSockInert>();
    case kHnetSockLink:
      return std::make_unique<HnetMgrSockLink>();
    default:
      return nullptr;
  }
}

void HnetMgrSockLinkDeliver(const uint8_t* data, uint32_t length) {
  if (length > static_cast<uint32_t>(kHnetDatagramMax)) {
    tlxLog("[ERR] %s : packet is too big!! size=%u\n", "HnetMgrSockRTSP::rtspSetnRecvBuf", length);
    return;
  }
  LinkInbox& box = inbox();
  std::unique_lock lock(box.lock);
  const auto limit = std::chrono::milliseconds(TimeoutMilliseconds(60, TimeoutUnit::kTicks));
  if (!box.changed.wait_for(lock, limit, [&] { return box.openReceivers == 0 || !box.full; }) ||
      box.openReceivers == 0) {
    tlxLog("[RTSP_ERR] HnetMgrSockRTSP::rtspSetnRecvBuf message dropped (no receiver)\n");
    return;
  }
  std::memcpy(box.data, data, length);
  box.length = static_cast<int>(length);
  box.full = true;
  box.changed.notify_all();
}

}  // namespace tlx::link

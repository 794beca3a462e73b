// Shared by the tests of the managers: the library's parts started in the
// order of its start-up (configuration store, link manager, event manager,
// home-network manager, network manager), without its exports, the test peer
// as the base station on 127.0.0.2 (UDP) and on its own port (the internet
// link), and small recorders of events, group messages and peer records.
#pragma once

#include <sys/socket.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "link/config/link_ports.h"
#include "link/config/tlx_cfg.h"
#include "link/network/anet_mgr.h"
#include "link/network/hnet_mgr.h"
#include "link/network/hnet_wack.h"
#include "link/network/kach.h"
#include "link/network/link_mgr_client.h"
#include "link/network/tlx_msg.h"
#include "link/os/event_mgr.h"
#include "link/os/socket_for_vxworks.h"
#include "link_env_support.h"
#include "link_test_support.h"
#include "support/peer_process.h"

namespace tlx::link::test {

using namespace std::chrono_literals;

// Polls `done` every millisecond until it holds or `limit` passes.
inline bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 10s) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

// One control message as bytes: header and payload.
inline std::string Message(const char* name, int32_t type, int32_t length, const std::string& payload) {
  std::string bytes(16, '\0');
  std::memcpy(bytes.data(), name, std::min<size_t>(std::strlen(name), 8));
  std::memcpy(bytes.data() + 8, &type, 4);
  std::memcpy(bytes.data() + 12, &length, 4);
  return bytes + payload;
}
inline std::string Message(const char* name, int32_t type, const std::string& payload) {
  return Message(name, type, static_cast<int32_t>(payload.size()), payload);
}
inline std::string Words(std::initializer_list<int32_t> words) {
  std::string bytes;
  for (int32_t word : words) bytes.append(reinterpret_cast<const char*>(&word), 4);
  return bytes;
}
inline std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string text;
  for (unsigned char c : bytes) {
    text += digits[c >> 4];
    text += digits[c & 15];
  }
  return text;
}

// The events of the given mask, as the event manager delivers them.
class EventLog {
 public:
  explicit EventLog(uint32_t mask) { eventMgrCallbackAttach(&EventLog::Receive, this, mask); }
  ~EventLog() { eventMgrCallbackDetach(&EventLog::Receive); }
  EventLog(const EventLog&) = delete;
  EventLog& operator=(const EventLog&) = delete;

  struct Event {
    uint32_t id;
    std::vector<int32_t> words;
    uint32_t length;
  };
  std::vector<Event> events() {
    std::lock_guard guard(lock_);
    return events_;
  }
  void Clear() {
    std::lock_guard guard(lock_);
    events_.clear();
  }
  // Waits until an event satisfies `match`; true when one did.
  bool WaitFor(const std::function<bool(const Event&)>& match, std::chrono::milliseconds limit = 10s) {
    std::unique_lock lock(lock_);
    return changed_.wait_for(lock, limit, [&] {
      for (const Event& event : events_) {
        if (match(event)) return true;
      }
      return false;
    });
  }

 private:
  static void Receive(void* context, const TLX_EVENT_MSG* message) {
    auto* self = static_cast<EventLog*>(context);
    Event event{message->eventId, {}, message->length};
    for (uint32_t i = 0; i + 4 <= message->length; i += 4) {
      int32_t word;
      std::memcpy(&word, message->payload + i, 4);
      event.words.push_back(word);
    }
    std::lock_guard guard(self->lock_);
    self->events_.push_back(event);
    self->changed_.notify_all();
  }

  std::mutex lock_;
  std::condition_variable changed_;
  std::vector<Event> events_;
};

// A local group that keeps what it receives and acknowledges every message
// type at the reply-wait table, run on a task of its own.
class RecordingGroup final : public TLXMsg {
 public:
  RecordingGroup(const char* name, int maxLength) : TLXMsg(name, maxLength), payload_(maxLength > 0 ? maxLength : 0) {
    task_ = taskSpawn(name, 100, 0, 8192, tlxMsgTaskEntry, reinterpret_cast<intptr_t>(static_cast<TLXMsg*>(this)));
  }
  ~RecordingGroup() override {
    stopRecvMsgQ();
    WaitUntil([this] { return task_ <= 0 || taskReap(task_) != 0; }, 5s);
  }
  // Each message received: header and the header's length of payload bytes.
  std::vector<std::string> received() {
    std::lock_guard guard(lock_);
    return received_;
  }
  bool WaitCount(size_t count) {
    return WaitUntil([&] { return received().size() >= count; });
  }

 protected:
  const void* payload() override { return payload_.data(); }
  int handleMsg(const TLX_MSG_HEADER& header, const uint8_t* payload) override {
    HnetWack_Ack(header.name, header.type);
    std::string bytes(reinterpret_cast<const char*>(&header), sizeof header);
    const int length = header.length < 0 ? 0 : std::min(header.length, maxLength());
    bytes.append(reinterpret_cast<const char*>(payload), length);
    std::lock_guard guard(lock_);
    received_.push_back(bytes);
    return 0;
  }

 private:
  std::vector<uint8_t> payload_;
  int task_ = 0;
  std::mutex lock_;
  std::vector<std::string> received_;
};

// Free UDP ports for the player's and the base's sockets, found once per
// process by binding port 0.
inline std::vector<uint16_t> FreePorts(int count) {
  std::vector<std::unique_ptr<SocketForVxWorks>> held;
  std::vector<uint16_t> ports;
  for (int i = 0; i < count; ++i) {
    auto socket = std::make_unique<SocketForVxWorks>();
    socket->open(SOCK_DGRAM);
    socket->bind(nullptr, 0);
    sockaddr_in address{};
    socklen_t length = sizeof address;
    getsockname(socket->handle(), reinterpret_cast<sockaddr*>(&address), &length);
    ports.push_back(ntohs(address.sin_port));
    held.push_back(std::move(socket));
  }
  return ports;
}

class LinkPeerTest : public LinkTest {
 protected:
  static void SetUpTestSuite() {
    UseTestEnvironment();
    static const bool set = [] {
      const std::vector<uint16_t> p = FreePorts(6);
      const std::string ports = "hnet_recv=" + std::to_string(p[0]) + ",hnet_send=" + std::to_string(p[1]) +
                                ",base_hnet=" + std::to_string(p[2]) + ",kach_server=" + std::to_string(p[3]) +
                                ",kach_client=" + std::to_string(p[4]) + ",base_kach=" + std::to_string(p[5]);
      setenv("TLX_LINK_PORTS", ports.c_str(), 1);
      setenv("TLX_LINK_DIRECT_ADDRS", "127.0.0.1,127.0.0.2", 1);
      return true;
    }();
    (void)set;
  }

  void SetUp() override {
    LinkTest::SetUp();
    DeleteTree(kTlxKey);
    ASSERT_EQ(0, tlxInitConfig(0x300));
    ASSERT_TRUE(tlxLinkMgrCreate());
    ASSERT_EQ(0, eventMgrStart());
    ASSERT_EQ(0, HnetMgr_Init());
    EventLog status(EVENT_ID_ANET);
    ASSERT_EQ(0, AnetMgr_Init());
    // The interface comes up on Ethernet and its address check is done.
    ASSERT_TRUE(status.WaitFor([](const EventLog::Event& e) { return e.words[0] == 3; }));
  }
  void TearDown() override {
    KACH_Shutdown();
    AnetMgr_Cleanup();
    HnetMgr_Cleanup();
    eventMgrStop();
    tlxLinkMgrRelease();
    tlxCleanupConfig();
    KACH_SetSendFunction(nullptr);
    LinkTest::TearDown();
  }

  // Starts the peer with the UDP sides of the control messages and the
  // keep-alive channel on 127.0.0.2, the internet link, and `more` (further
  // "name": {options} entries of "services", or ""). The option texts are
  // added to those of each service.
  static std::unique_ptr<tlx::test::PeerProcess> StartPeer(const std::string& more = "",
                                                           const std::string& kachOptions = "",
                                                           const std::string& vexlinkOptions = "",
                                                           const std::string& hnetOptions = "") {
    const TlxLinkPorts& ports = tlxLinkPorts();
    std::string services = "\"vexlink\": {" + vexlinkOptions + "}, \"hnet\": {\"port\": " +
                           std::to_string(ports.baseHnet) + ", \"player_port\": " + std::to_string(ports.hnetRecv) +
                           (hnetOptions.empty() ? "" : ", " + hnetOptions) + "}, \"kach\": {\"port\": " + std::to_string(ports.baseKach) +
                           ", \"player_port\": " + std::to_string(ports.kachServer) +
                           (kachOptions.empty() ? "" : ", " + kachOptions) + "}";
    if (!more.empty()) services += ", " + more;
    return std::make_unique<tlx::test::PeerProcess>("{\"services\": {" + services + "}}");
  }

  // Link mode 0 over the peer's internet link.
  static void UseInternetLink(const tlx::test::PeerProcess& peer) {
    tlxCfgSet("network/ravix/hostname", "127.0.0.1");
    tlxCfgSet("network/ravix/port", std::to_string(peer.port()).c_str());
    ASSERT_EQ(0, HnetMgr_ChangeLinkMode(kLinkInternet));
    ASSERT_EQ(0, tlxRavixConnect());
    ASSERT_EQ(kHnetUp, HnetMgr_State());
  }
  // Link mode 1 over UDP with the keep-alive channel.
  static void UseLocalNetwork() {
    ASSERT_EQ(0, HnetMgr_ChangeLinkMode(kLinkNone));
    ASSERT_EQ(0, HnetMgr_ChangeLinkMode(kLinkLocal));
    ASSERT_EQ(kHnetUp, HnetMgr_State());
  }

  // Record lines of the peer that contain every one of the texts.
  static std::vector<std::string> Records(tlx::test::PeerProcess& peer, std::initializer_list<std::string> texts) {
    std::vector<std::string> lines;
    for (const std::string& line : peer.RecordLines()) {
      bool all = true;
      for (const std::string& text : texts) all = all && line.find(text) != std::string::npos;
      if (all) lines.push_back(line);
    }
    return lines;
  }
  static bool WaitRecords(tlx::test::PeerProcess& peer, std::initializer_list<std::string> texts, size_t count,
                          std::chrono::milliseconds limit = 10s) {
    return WaitUntil([&] { return Records(peer, texts).size() >= count; }, limit);
  }
};

}  // namespace tlx::link::test

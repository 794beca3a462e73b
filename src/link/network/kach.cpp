#include "link/network/kach.h"

#include <arpa/inet.h>
#include <sys/socket.h>

#include <atomic>
#include <bit>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "link/config/link_ports.h"
#include "link/config/tlx_cfg.h"
#include "link/network/anet_config.h"
#include "link/network/hnet_mgr.h"
#include "link/network/hnet_sock.h"
#include "link/network/tlx_msg.h"
#include "link/os/manager_lock.h"
#include "link/os/socket_for_vxworks.h"
#include "link/os/task_lib.h"
#include "link/os/tlx_log.h"
#include "win32/ticks.h"

namespace tlx::link {
namespace {

constexpr int kLockTicks = 600;
constexpr int kPollTicks = 75;
constexpr int kAnswerMs = 50;
constexpr int kMissesDown = 5;
constexpr int kMissesRestart = 7;
constexpr int kHistoryMask = 63;
constexpr int kKachDatagramMax = kMsgHeaderSize + 8;

struct Channel {
  ManagerLock lock;  // start, shut-down and the restarts

  std::atomic<int> linkState{kKachLinkUnknown};
  std::atomic<bool> linkFlag{true};
  std::atomic<bool> linkFlagAtUp{true};
  std::atomic<bool> baseDown{false};
  std::atomic<int> nextNotice{KACH_MSG_NOTIFY_UP};
  std::atomic<bool> noticePending{false};
  std::atomic<int> wlanLevel{1};
  std::atomic<int> baseQuality{8};
  std::atomic<int> netState{8};
  std::atomic<int> history{0};
  std::atomic<int> baseError{0};
  std::atomic<int> connType{kConnNone};
  std::atomic<bool> typeRecorded{false};
  std::atomic<bool> started{false};     // ever started: later starts begin with a poll
  std::atomic<bool> stopClient{false};  // shut-down asked: the client says DOWN and ends
  std::atomic<bool> stopping{false};
  std::atomic<KachSendFunction> sendFunction{nullptr};

  std::mutex sockLock;  // everything below
  std::shared_ptr<SocketForVxWorks> server;
  std::shared_ptr<SocketForVxWorks> client;
  int serverTask = 0;
  int clientTask = 0;
  std::string base;
  std::string player;

  std::mutex restartLock;
  std::condition_variable restartAsked;
  bool restartRequest = false;  // under restartLock

  std::mutex pairLock;
  std::string rememberedAv, rememberedInterface;  // under pairLock
};

Channel& channel() {
  static Channel instance;
  return instance;
}

bool TakeLock(Channel& c) {
  return c.lock.TakeFor(kLockTicks);
}

TLX_SOCK_ADDR Address(const std::string& text, uint16_t port) {
  TLX_SOCK_ADDR address{};
  address.port = port;
  std::strncpy(address.address, text.c_str(), sizeof address.address - 1);
  return address;
}

in_addr_t AddressWord(const std::string& text) {
  in_addr address{};
  return tlxParseAddress(text.c_str(), &address) == 0 ? address.s_addr : 0;
}

struct KachMessage {
  TLX_MSG_HEADER header{"KACH", 0, 0};
  uint8_t payload[8] = {};
  int size() const { return kMsgHeaderSize + header.length; }
};

// The payload a datagram of that type needs: answers reach the client,
// requests the server. -1 for a type that side does not take.
int AnswerLength(int type) {
  switch (type) {
    case KACH_MSG_POLL_ANSWER:
    case KACH_MSG_NOTIFY_UP:
      return 2;
    case KACH_MSG_NOTIFY_WADDR_ACK:
      return 8;
    case KACH_MSG_NOTIFY_EADDR_ACK:
      return 4;
    default:
      return -1;
  }
}
int RequestLength(int type) {
  switch (type) {
    case KACH_MSG_POLL:
    case KACH_NOTIFY_DOWN:
    case KACH_MSG_NOTIFY_UP:
      return 0;
    case KACH_MSG_NOTIFY_WADDR:
      return 8;
    case KACH_MSG_NOTIFY_EADDR:
      return 4;
    default:
      return -1;
  }
}

// Reads one datagram that counts: from the base, named "KACH", with the
// payload its type needs. False on time-out, a closed socket or a datagram
// that does not count (logged).
bool ReadKach(SocketForVxWorks& socket, const std::string& base, int (*lengthOf)(int), KachMessage* message,
              TLX_SOCK_ADDR* from) {
  uint8_t buffer[kKachDatagramMax + 1];
  const int got = socket.receiveFrom(buffer, sizeof buffer, from, kAnswerMs);
  if (got < 0) return false;
  if (base != from->address || got < kMsgHeaderSize || got > kKachDatagramMax) {
    tlxLog("[KACH_ERR] dropped a datagram from %s size=%d\n", from->address, got);
    return false;
  }
  std::memcpy(&message->header, buffer, kMsgHeaderSize);
  const int need = lengthOf(message->header.type);
  if (std::memcmp(message->header.name, "KACH\0\0\0\0", 8) != 0 || need < 0 || message->header.length != need ||
      got < kMsgHeaderSize + need) {
    tlxLog("[KACH_ERR] dropped a message type=%d length=%d\n", message->header.type, message->header.length);
    return false;
  }
  std::memcpy(message->payload, buffer + kMsgHeaderSize, need);
  return true;
}

int SendFrom(SocketForVxWorks& socket, const KachMessage& message, const TLX_SOCK_ADDR& to) {
  if (const KachSendFunction hook = channel().sendFunction.load()) return hook(&message, message.size());
  return socket.sendTo(&message, message.size(), to);
}

void PostLinkEvent() { HnetMgr_PostNetworkEvent(); }

KachMessage PollAnswer(Channel& c) {
  KachMessage answer;
  answer.header.type = c.nextNotice == KACH_MSG_NOTIFY_UP ? KACH_MSG_NOTIFY_UP : KACH_MSG_POLL_ANSWER;
  answer.header.length = 2;
  answer.payload[0] = KACH_PlayerFlags(c.linkFlagAtUp, c.linkFlag, c.netState, KACH_WirelessLevel());
  answer.payload[1] = static_cast<uint8_t>(c.history);
  return answer;
}

// Builds the notice of the current type.
KachMessage Notice(int type, const std::string& base, const std::string& player) {
  KachMessage notice;
  notice.header.type = type;
  if (type == KACH_MSG_NOTIFY_WADDR) {
    const in_addr_t pair[2] = {AddressWord(base), AddressWord(player)};
    std::memcpy(notice.payload, pair, sizeof pair);
    notice.header.length = 8;
    tlxLog("[KACH_INFO] Send KACH_MSG_NOTIFY_WADDR 0x%x 0x%x\n", pair[0], pair[1]);
  } else if (type == KACH_MSG_NOTIFY_EADDR) {
    const in_addr_t address = AddressWord(player);
    std::memcpy(notice.payload, &address, sizeof address);
    notice.header.length = 4;
    tlxLog("[KACH_INFO] Send KACH_MSG_NOTIFY_EADDR 0x%x\n", address);
  }
  return notice;
}

void SendCounted(Channel& c, SocketForVxWorks& socket, const KachMessage& message, const TLX_SOCK_ADDR& to) {
  c.history = (c.history << 1) & 0xFF;
  if (SendFrom(socket, message, to) == message.size()) return;
  const int error = WSAGetLastError();
  tlxLog("[KACH_ERR] Send KACH_MSG type=%d errno=0x%x\n", message.header.type, error);
  if (error == WSAENOBUFS) {
    c.history |= 1;
    tlxLog("[KACH_INFO] ENOBUFS error errCnt=0x%x\n", c.history.load());
  }
}

// "tKachC": polls the base once a period and follows its answers.
void ClientTask(intptr_t) {
  Channel& c = channel();
  std::shared_ptr<SocketForVxWorks> socket;
  std::string base, player;
  {
    std::lock_guard guard(c.sockLock);
    socket = c.client;
    base = c.base;
    player = c.player;
  }
  if (socket == nullptr) return;
  const TLX_SOCK_ADDR to = Address(base, tlxLinkPorts().baseKach);
  int misses = 0;
  int reportedState = c.linkState;
  bool reportedFlag = c.linkFlag;
  const auto period = std::chrono::milliseconds(TimeoutMilliseconds(kPollTicks, TimeoutUnit::kTicks));
  for (;;) {
    if (c.stopClient) {
      tlxLog("[KACH_ERR] Send KACH_NOTIFY_DOWN\n");
      SendCounted(c, *socket, Notice(KACH_NOTIFY_DOWN, base, player), to);
      return;
    }
    if (taskStopRequested()) return;
    const auto end = std::chrono::steady_clock::now() + period;
    const int type = c.nextNotice;
    const KachMessage sent = Notice(type, base, player);
    if (type == KACH_NOTIFY_DOWN) tlxLog("[KACH_ERR] Send KACH_NOTIFY_DOWN\n");
    SendCounted(c, *socket, sent, to);
    if (type == KACH_NOTIFY_DOWN) return;
    bool answered = false;
    while (std::chrono::steady_clock::now() < end && !c.stopClient && !taskStopRequested()) {
      KachMessage answer;
      TLX_SOCK_ADDR from{};
      if (!ReadKach(*socket, base, AnswerLength, &answer, &from)) continue;
      answered = true;
      switch (answer.header.type) {
        case KACH_MSG_POLL_ANSWER:
        case KACH_MSG_NOTIFY_UP: {
          const uint8_t flags = answer.payload[0];
          c.baseError = answer.payload[1];
          if (answer.payload[1] != 0) tlxLog("[KACH_INFO] remote send err = 0x%x\n", answer.payload[1]);
          c.linkFlag = (flags & 0x02) != 0;
          c.baseQuality = KACH_BaseQuality(flags);
          c.nextNotice = KACH_MSG_POLL;
          if (answer.header.type == KACH_MSG_POLL_ANSWER) {
            c.linkState = kKachLinkUp;
            misses = 0;
          } else {
            tlxLog("[KACH_INFO] recv KACH_MSG_NOTIFY_UP\n");
            c.linkState = kKachLinkDown;
          }
          break;
        }
        case KACH_MSG_NOTIFY_WADDR_ACK:
        case KACH_MSG_NOTIFY_EADDR_ACK:
          if (std::memcmp(answer.payload, sent.payload, answer.header.length) == 0 &&
              sent.header.type + 1 == answer.header.type) {
            c.noticePending = false;
            c.nextNotice = KACH_MSG_POLL;
            tlxLog("[KACH_INFO] recv %s\n", answer.header.type == KACH_MSG_NOTIFY_WADDR_ACK
                                                ? "KACH_MSG_NOTIFY_WADDR_ACK"
                                                : "KACH_MSG_NOTIFY_EADDR_ACK");
          }
          break;
      }
    }
    if (c.stopClient || taskStopRequested()) continue;
    if (!answered) {
      ++misses;
      if (misses >= kMissesDown) {
        c.linkState = kKachLinkDown;
        if (misses == kMissesDown) {
          c.noticePending = false;
          c.nextNotice = KACH_MSG_POLL;
          tlxLog("[KACH_ERR] Can't receive ACK.\n");
        }
      }
      if (misses == kMissesRestart && c.connType == kConnEther) {
        std::lock_guard guard(c.restartLock);
        c.restartRequest = true;
        c.restartAsked.notify_all();
      }
    }
    if (!c.baseDown && (c.linkState != reportedState || c.linkFlag != reportedFlag)) {
      reportedState = c.linkState;
      reportedFlag = c.linkFlag;
      if (reportedState == kKachLinkUp) c.linkFlagAtUp = reportedFlag;
      PostLinkEvent();
    }
  }
}

bool StartClient(Channel& c) {
  auto socket = std::make_shared<SocketForVxWorks>();
  std::lock_guard guard(c.sockLock);
  if (socket->open(SOCK_DGRAM) != 0 || socket->bind(c.player.c_str(), tlxLinkPorts().kachClient) != 0) {
    tlxLog("[ERR] %s can't create kaCltSock\n", "KACH_Init");
    socket->close();
    return false;
  }
  c.client = socket;
  c.stopClient = false;
  const int id = taskSpawn("tKachC", 47, 0, 8192, ClientTask, 0);
  c.clientTask = id > 0 ? id : 0;
  return id > 0;
}

// Ends the client without a DOWN notice.
void PauseClient(Channel& c) {
  int id;
  std::shared_ptr<SocketForVxWorks> socket;
  {
    std::lock_guard guard(c.sockLock);
    id = c.clientTask;
    c.clientTask = 0;
    socket = std::move(c.client);
  }
  if (id > 0) taskDelete(id);
  if (socket != nullptr) socket->close();
}

std::shared_ptr<SocketForVxWorks> OpenServer(Channel& c) {
  auto socket = std::make_shared<SocketForVxWorks>();
  if (socket->open(SOCK_DGRAM) != 0 || socket->bind(c.player.c_str(), tlxLinkPorts().kachServer) != 0) {
    tlxLog("[ERR] %s can't create kaSrvSock\n", "KACH_Init");
    socket->close();
    return nullptr;
  }
  return socket;
}

// A new direct-link pair from the base: the sockets are remade.
void ChangeWlanAddress(Channel& c, std::shared_ptr<SocketForVxWorks>* server, in_addr_t base, in_addr_t player) {
  PauseClient(c);
  HnetMgr_Pause();
  tlxLog("[INFO] changeWlanAddr b=0x%x p=0x%x\n", base, player);
  HnetMgr_Restart();
  (*server)->close();
  std::shared_ptr<SocketForVxWorks> reopened = OpenServer(c);
  {
    std::lock_guard guard(c.sockLock);
    c.server = reopened;
  }
  *server = reopened;
  if (!c.stopping) StartClient(c);
}

void StoreEtherAddress(in_addr_t address) {
  char text[16] = {};
  if (tlxFormatAddress(in_addr{address}, text) == nullptr) return;
  ANET_CFG_ETHERAV av{};
  if (AnetMgrConfig_Read(ANET_CFG_ETHERAV_TYPE, &av) == 1 && std::strcmp(av.ipAddress, text) == 0) return;
  std::strncpy(av.ipAddress, text, sizeof av.ipAddress - 1);
  AnetMgrConfig_Write(ANET_CFG_ETHERAV_TYPE, &av);
}

// "tKachS": answers the base's requests.
void ServerTask(intptr_t) {
  Channel& c = channel();
  std::shared_ptr<SocketForVxWorks> socket;
  std::string base;
  {
    std::lock_guard guard(c.sockLock);
    socket = c.server;
    base = c.base;
  }
  while (socket != nullptr && !c.stopping && !taskStopRequested()) {
    KachMessage request;
    TLX_SOCK_ADDR from{};
    if (!ReadKach(*socket, base, RequestLength, &request, &from)) {
      if (socket->handle() == INVALID_SOCKET) break;
      continue;
    }
    c.baseDown = false;
    KachMessage answer;
    switch (request.header.type) {
      case KACH_MSG_NOTIFY_UP:
        c.linkState = kKachLinkDown;
        c.baseDown = true;
        PostLinkEvent();
        [[fallthrough]];
      case KACH_MSG_POLL:
        answer = PollAnswer(c);
        socket->sendTo(&answer, answer.size(), from);
        break;
      case KACH_MSG_NOTIFY_WADDR: {
        in_addr_t pair[2];
        std::memcpy(pair, request.payload, sizeof pair);
        answer.header.type = KACH_MSG_NOTIFY_WADDR_ACK;
        answer.header.length = 8;
        std::memcpy(answer.payload, pair, sizeof pair);
        tlxLog("[KACH_INFO] Send KACH_MSG_NOTIFY_WADDR_ACK 0x%x 0x%x\n", pair[0], pair[1]);
        socket->sendTo(&answer, answer.size(), from);
        if (KACH_AcceptWlanPair(pair[0], pair[1])) ChangeWlanAddress(c, &socket, pair[0], pair[1]);
        break;
      }
      case KACH_MSG_NOTIFY_EADDR: {
        in_addr_t address;
        std::memcpy(&address, request.payload, sizeof address);
        answer.header.type = KACH_MSG_NOTIFY_EADDR_ACK;
        answer.header.length = 4;
        std::memcpy(answer.payload, &address, sizeof address);
        socket->sendTo(&answer, answer.size(), from);
        StoreEtherAddress(address);
        break;
      }
      case KACH_NOTIFY_DOWN:
        c.linkState = kKachLinkDown;
        c.baseDown = true;
        PostLinkEvent();
        break;
    }
    taskDelay(1);
  }
}

void StopLocked(Channel& c) {
  int serverTask, clientTask;
  std::shared_ptr<SocketForVxWorks> server, client;
  {
    std::lock_guard guard(c.sockLock);
    serverTask = c.serverTask;
    clientTask = c.clientTask;
    server = std::move(c.server);
    client = c.client;
    c.serverTask = c.clientTask = 0;
  }
  if (serverTask == 0 && clientTask == 0) return;
  c.stopping = true;
  c.stopClient = true;
  if (server != nullptr) server->close();
  // The client sees the request at its next read (50 ms at most), says DOWN
  // and ends; taskDelete waits for it.
  if (clientTask > 0) {
    for (int i = 0; i < 100 && taskReap(clientTask) == 0; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    taskDelete(clientTask);
  }
  if (serverTask > 0) taskDelete(serverTask);
  if (client != nullptr) client->close();
  {
    std::lock_guard guard(c.sockLock);
    c.client.reset();
  }
  c.linkState = kKachLinkDown;
  PostLinkEvent();
  c.linkState = kKachLinkUnknown;
}

}  // namespace

int KACH_Start() {
  Channel& c = channel();
  const std::string player = tlxCfgPlayerDirectAddress();
  const std::string base = tlxCfgBaseDirectAddress();
  if (player.empty() || base.empty()) return 0;
  if (!TakeLock(c)) return -1;
  std::lock_guard guard(c.lock, std::adopt_lock);
  {
    std::lock_guard sockGuard(c.sockLock);
    if (c.serverTask != 0 || c.clientTask != 0) return 0;
    c.player = player;
    c.base = base;
  }
  if (c.started.exchange(true)) c.nextNotice = KACH_MSG_POLL;
  c.stopping = false;
  std::shared_ptr<SocketForVxWorks> server = OpenServer(c);
  if (server == nullptr) return -1;
  {
    std::lock_guard sockGuard(c.sockLock);
    c.server = server;
    const int id = taskSpawn("tKachS", 46, 0, 12288, ServerTask, 0);
    c.serverTask = id > 0 ? id : 0;
  }
  if (!StartClient(c)) {
    StopLocked(c);
    return -1;
  }
  return 0;
}

int KACH_Shutdown() {
  Channel& c = channel();
  if (!TakeLock(c)) return -1;
  std::lock_guard guard(c.lock, std::adopt_lock);
  StopLocked(c);
  return 0;
}

bool KACH_LinkUp() { return channel().linkFlag; }
int KACH_LinkState() { return channel().linkState; }

int KACH_WirelessLevel() {
  Channel& c = channel();
  switch (c.connType) {
    case kConnWlan:
      return c.wlanLevel;
    case kConnEther: {
      const int mine = c.netState, base = c.baseQuality;
      if (mine == 7 || base == 7) return 7;
      if (mine == 6 || base == 6) return 6;
      if (mine == 5 && base == 5) return 5;
      return 8;
    }
    default:
      return 8;
  }
}

int KACH_ErrorLevel() {
  Channel& c = channel();
  const int base = std::popcount(static_cast<unsigned>(c.baseError & kHistoryMask));
  const int mine = std::popcount(static_cast<unsigned>(c.history & kHistoryMask));
  return base > mine ? base : mine;
}

void KACH_RecordConnType(int type) {
  Channel& c = channel();
  c.connType = type;
  c.typeRecorded = true;
}

int KACH_SetConnType(int type) {
  Channel& c = channel();
  if (!c.typeRecorded.exchange(true)) {
    c.connType = type;
    return 0;
  }
  if (type < kConnWlan || type > kConnRavix) return -1;
  KACH_Shutdown();
  if (HnetMgr_Pause() != 0) return -1;
  const int previous = c.connType.exchange(type);
  if (previous != kConnEther && previous != kConnRavix) tlxLog("[ERR] unknown HnetMgrConnType:%d\n", previous);
  return type == kConnWlan ? HnetMgr_RestartLocal() : 0;
}

void KACH_CheckAddress(const char* avAddress, const char* interfaceAddress) {
  Channel& c = channel();
  {
    std::lock_guard guard(c.pairLock);
    const std::string av = avAddress != nullptr ? avAddress : "";
    const std::string interface = interfaceAddress != nullptr ? interfaceAddress : "";
    if (av == c.rememberedAv && interface == c.rememberedInterface) return;
    c.rememberedAv = av;
    c.rememberedInterface = interface;
  }
  if (HnetMgr_LinkMode() != kLinkLocal || HnetMgr_SocketKind() != kHnetSockUdp) return;
  KACH_Shutdown();
  HnetMgr_Pause();
  HnetMgr_RestartLocal();
}

void KACH_BaseAlive() {
  Channel& c = channel();
  if (c.linkState == kKachLinkDown && !c.baseDown && !c.stopping && c.linkFlag) {
    c.linkState = kKachLinkUp;
    PostLinkEvent();
  }
}

void KACH_SetNetState(int state) { channel().netState = state; }
void KACH_SetNextNotice(int type) {
  Channel& c = channel();
  c.nextNotice = type;
  c.noticePending = type == KACH_MSG_NOTIFY_WADDR || type == KACH_MSG_NOTIFY_EADDR;
}

bool KACH_TakeRestartRequest(int timeoutTicks) {
  Channel& c = channel();
  std::unique_lock lock(c.restartLock);
  const auto limit = std::chrono::milliseconds(TimeoutMilliseconds(timeoutTicks, TimeoutUnit::kTicks));
  if (!c.restartAsked.wait_for(lock, limit, [&] { return c.restartRequest; })) return false;
  c.restartRequest = false;
  return true;
}

void KACH_SetSendFunction(KachSendFunction function) { channel().sendFunction = function; }

}  // namespace tlx::link

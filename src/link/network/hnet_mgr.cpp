#include "link/network/hnet_mgr.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

#include "link/config/link_ports.h"
#include "link/config/tlx_cfg.h"
#include "link/network/anet_config.h"
#include "link/network/anet_mgr.h"
#include "link/network/hnet_relay.h"
#include "link/network/hnet_sock.h"
#include "link/network/hnet_wack.h"
#include "link/network/kach.h"
#include "link/os/event_mgr.h"
#include "link/os/manager_lock.h"
#include "link/os/sem_lib.h"
#include "link/os/task_lib.h"
#include "link/os/timer_lib.h"
#include "link/os/tlx_log.h"
#include "win32/ticks.h"

namespace tlx::link {
namespace {

constexpr int kLockTicks = 600;
constexpr int kDownTimerTicks = 3600;
constexpr int kHnetEventDepth = 16;
constexpr int kLocalRecvMs = 50;
constexpr int kLinkRecvMs = 1000;
constexpr uint32_t kEvQueueBit = 1u << 0;
constexpr uint32_t kSaveSemBit = 1u << 1;
constexpr int32_t kAnetDownNotice = 310;

constexpr const char* kConnTypeNames[] = {"WLAN", "ETHER", "RAVIX", "HOTSPOT"};

// The "HNET" group: its handler sends each message to the base station.
class HnetMsg final : public TLXMsg {
 public:
  HnetMsg() : TLXMsg("HNET", kMsgPayloadMax) {}

 protected:
  const void* payload() override { return payload_; }
  int handleMsg(const TLX_MSG_HEADER& header, const uint8_t* payload) override;

 private:
  uint8_t payload_[kMsgPayloadMax] = {};
};

struct Manager {
  ManagerLock lock;  // start, shut-down, pause and restart
  std::atomic<int> state{kHnetNotStarted};
  std::atomic<int> linkMode{kLinkLocal};
  std::atomic<int> connType{kConnNone};
  std::atomic<int> sockKind{kHnetSockNone};

  // Made by start, deleted by shut-down; the tasks get them at spawn.
  std::unique_ptr<HnetMsg> group;
  MSG_Q_ID eventQueue = nullptr;
  SEM_ID saveSem = nullptr;
  int downTimer = 0;
  int eventTask = 0;
  int relayTask = 0;
  int receiveTask = 0;  // under sockLock
  std::atomic<bool> receiveRun{false};

  std::mutex sockLock;  // the two sides below
  std::shared_ptr<HnetMgrSock> recvSock;
  std::shared_ptr<HnetMgrSock> sendSock;
  std::string baseAddress;  // under sockLock
};

Manager& mgr() {
  static Manager instance;
  return instance;
}

bool TakeLock(Manager& m) {
  return m.lock.TakeFor(kLockTicks);
}

int HnetMsg::handleMsg(const TLX_MSG_HEADER& header, const uint8_t* payload) {
  std::shared_ptr<HnetMgrSock> send;
  {
    Manager& m = mgr();
    std::lock_guard guard(m.sockLock);
    send = m.sendSock;
  }
  if (send == nullptr) {
    errnoSet(S_hnetMsg_NO_SOCKET);
    return 0;
  }
  const int length = header.length < 0 ? 0 : header.length > kMsgPayloadMax ? kMsgPayloadMax : header.length;
  uint8_t datagram[kHnetDatagramMax];
  std::memcpy(datagram, &header, kMsgHeaderSize);
  std::memcpy(datagram + kMsgHeaderSize, payload, length);
  if (send->Send(datagram, kMsgHeaderSize + length) < 0) {
    tlxLog("[ERR] %s : send failed type=%d length=%d\n", "HnetMsg", header.type, length);
  }
  return 0;
}

bool LocalNetwork() { return mgr().sockKind == kHnetSockUdp; }

// The send socket is read once and what it yields is dropped, so nothing
// piles up on it. It is not waited for: every datagram from another sender
// comes here, and a wait per datagram would let a flood from elsewhere hold
// up (and, once the receive buffer is full, lose) the base's own.
void DiscardSendSide(const std::shared_ptr<HnetMgrSock>& send) {
  uint8_t scrap[kHnetDatagramMax];
  if (send != nullptr) send->Recv(scrap, sizeof scrap, nullptr, 0);
}

// "tHnetMgrS": takes what the base sends and routes it.
void ReceiveTask(intptr_t) {
  Manager& m = mgr();
  uint8_t buffer[kHnetDatagramMax];
  while (m.receiveRun && !taskStopRequested()) {
    std::shared_ptr<HnetMgrSock> recv, send;
    std::string base;
    {
      std::lock_guard guard(m.sockLock);
      recv = m.recvSock;
      send = m.sendSock;
      base = m.baseAddress;
    }
    if (recv == nullptr) break;
    const bool local = LocalNetwork();
    std::string from;
    const int got = recv->Recv(buffer, sizeof buffer, &from, local ? kLocalRecvMs : kLinkRecvMs);
    if (got == -1) {
      if (!m.receiveRun) break;
      taskDelay(1);
      continue;
    }
    if (got <= 0 || (local && from != base)) {
      if (got > 0) tlxLog("[ERR] HnetMgr: dropped a datagram from %s\n", from.c_str());
      if (local) DiscardSendSide(send);
      continue;
    }
    if (local) KACH_BaseAlive();
    if (HnetRelay_Route(buffer, got, local) == HnetRoute::kNotice) semGive(m.saveSem);
  }
}

void SetNetworkState(const TLX_EVENT_MSG& event) {
  if (event.length < 8) return;
  int32_t words[2];
  std::memcpy(words, event.payload, sizeof words);
  if (words[0] != 0) {
    KACH_SetNetState(7);
  } else if (words[1] == 0 || words[1] == 1) {
    KACH_SetNetState(5);
  } else if (words[1] == 2) {
    KACH_SetNetState(6);
  }
}

// The one-minute timer: tells the network manager that the network stayed down.
void DownTimerExpired(intptr_t) {
  MSG_Q_ID anet = nullptr;
  if (!tlxMsgFindGroup("ANET", &anet, nullptr)) return;
  uint8_t message[kMsgHeaderSize + 12] = {};
  TLX_MSG_HEADER header{"HNET", 1, 12};
  std::memcpy(message, &header, kMsgHeaderSize);
  std::memcpy(message + kMsgHeaderSize, &kAnetDownNotice, sizeof kAnetDownNotice);
  msgQSend(anet, message, sizeof message, 0, 0);
}

void WatchNetwork(Manager& m, const TLX_EVENT_MSG& event) {
  if (event.length < 12) return;
  int32_t words[3];
  std::memcpy(words, event.payload, sizeof words);
  if (words[0] == 1) {
    wdStart(m.downTimer, kDownTimerTicks, DownTimerExpired, 0);
  } else if (words[0] == 0) {
    wdCancel(m.downTimer);
    if (words[2] == 2) tlxLog("[INFO] >>>>>THE ANOTHER PORTABLE IS CONNECTING TO THE BASE<<<<<\n");
  }
}

// "tHnetMgrEv": network events and the saving of notice blocks.
void EventTask(intptr_t) {
  Manager& m = mgr();
  if (msgQEvStart(m.eventQueue, kEvQueueBit) != 0 || semEvStart(m.saveSem, kSaveSemBit) != 0) return;
  // What came before the registration is taken first.
  uint32_t which = 0;
  do {
    TLX_EVENT_MSG event;
    while (msgQReceive(m.eventQueue, &event, sizeof event, 0) == 0) {
      if (event.eventId & EVENT_ID_NETCONFIG) SetNetworkState(event);
      if (event.eventId & EVENT_ID_NETWORK) WatchNetwork(m, event);
    }
    if (semTake(m.saveSem, 0) == 0) HnetRelay_SaveNotices();
  } while (eventReceive(kEvQueueBit | kSaveSemBit, true, -1, &which) == 0);
  eventMgrQueueDetach(m.eventQueue);
  msgQEvStop(m.eventQueue);
  semEvStop(m.saveSem);
}

void StopTask(int* id) {
  if (*id > 0) taskDelete(*id);
  *id = 0;
}

// Closes both sides and ends "tHnetMgrS"; the sides are deleted.
void CloseSockets(Manager& m) {
  std::shared_ptr<HnetMgrSock> recv, send;
  int receiveTask;
  {
    std::lock_guard guard(m.sockLock);
    recv = std::move(m.recvSock);
    send = std::move(m.sendSock);
    receiveTask = m.receiveTask;
    m.receiveTask = 0;
  }
  m.receiveRun = false;
  if (recv != nullptr) recv->Close();
  if (send != nullptr) send->Close();
  StopTask(&receiveTask);
}

void StartReceiveTask(Manager& m) {
  m.receiveRun = true;
  const int id = taskSpawn("tHnetMgrS", 88, 0, 12288, ReceiveTask, 0);
  std::lock_guard guard(m.sockLock);
  m.receiveTask = id > 0 ? id : 0;
}

void DeleteObjects(Manager& m) {
  if (m.downTimer != 0) wdDelete(m.downTimer);
  m.downTimer = 0;
  if (m.saveSem != nullptr) semDelete(m.saveSem);
  m.saveSem = nullptr;
  if (m.eventQueue != nullptr) msgQDelete(m.eventQueue);
  m.eventQueue = nullptr;
  HnetWack_CancelAll();
  m.group.reset();
  HnetRelay_ClearNotices();
}

void StopTasks(Manager& m) {
  if (m.group != nullptr) m.group->stopRecvMsgQ();
  CloseSockets(m);
  if (m.eventQueue != nullptr) eventMgrQueueDetach(m.eventQueue);
  StopTask(&m.eventTask);
  StopTask(&m.relayTask);
}

int StartTasks(Manager& m) {
  if (eventMgrQueueAttach(m.eventQueue, EVENT_ID_NETCONFIG | EVENT_ID_NETWORK) != 0) return -1;
  m.eventTask = taskSpawn("tHnetMgrEv", 80, 0, 8192, EventTask, 0);
  m.relayTask = taskSpawn("tHnetMgrC", 89, 0, 8192, tlxMsgTaskEntry, reinterpret_cast<intptr_t>(m.group.get()));
  if (m.eventTask <= 0 || m.relayTask <= 0) {
    if (m.eventTask < 0) m.eventTask = 0;
    if (m.relayTask < 0) m.relayTask = 0;
    StopTasks(m);
    return -1;
  }
  // No socket yet: "tHnetMgrS" starts with the first restart.
  return 0;
}

int ParseConnType(const std::string& text) {
  for (int type = 0; type < 4; ++type) {
    if (text == kConnTypeNames[type]) return type;
  }
  return -1;
}

}  // namespace

int HnetMgr_Init() {
  Manager& m = mgr();
  if (m.state != kHnetNotStarted) return 0;
  if (!TakeLock(m)) return -1;
  std::lock_guard guard(m.lock, std::adopt_lock);
  m.state = kHnetStarting;
  AnetMgrConfig_WriteDefaults();
  tlxCfgLoadCategory("hnet.cfg", 0);
  if (tlxCfgGet("hnet/conntype").empty()) tlxCfgSet("hnet/conntype", "WLAN");
  if (const int type = ParseConnType(tlxCfgGet("hnet/conntype")); type >= 0) m.connType = type;
  KACH_RecordConnType(m.connType);
  const char* failure = nullptr;
  m.group = std::make_unique<HnetMsg>();
  if (m.group->queue() == nullptr) failure = "[ERR] %s can't create hnetMsg.\n";
  if (failure == nullptr && (m.eventQueue = msgQCreate(kHnetEventDepth, sizeof(TLX_EVENT_MSG), 0)) == nullptr) {
    failure = "[ERR] %s can't create evMsgQId.\n";
  }
  if (failure == nullptr && (m.saveSem = semBCreate(0, 0)) == nullptr) failure = "[ERR] %s can't create saveInfoSem.\n";
  if (failure == nullptr && (m.downTimer = wdCreate()) == 0) failure = "[ERR] %s can't create the down timer.\n";
  m.sockKind = kHnetSockNone;
  if (failure == nullptr && StartTasks(m) != 0) failure = "[ERR] %s can't start the tasks.\n";
  if (failure != nullptr) {
    tlxLog(failure, "HnetMgr_Init");
    DeleteObjects(m);
    m.state = kHnetStopped;
    return -1;
  }
  m.state = kHnetUp;
  return 0;
}

void HnetMgr_Cleanup() {
  Manager& m = mgr();
  if (m.state == kHnetNotStarted) return;
  const bool locked = TakeLock(m);
  m.state = kHnetStopped;
  StopTasks(m);
  DeleteObjects(m);
  m.state = kHnetNotStarted;
  m.linkMode = kLinkLocal;
  m.sockKind = kHnetSockNone;
  if (locked) m.lock.unlock();
}

int HnetMgr_Pause() {
  Manager& m = mgr();
  if (!TakeLock(m)) return -1;
  std::lock_guard guard(m.lock, std::adopt_lock);
  m.state = kHnetPaused;
  CloseSockets(m);
  return 0;
}

int HnetMgr_Restart() {
  Manager& m = mgr();
  if (m.state != kHnetPaused) return 0;
  const int kind = m.sockKind;
  const std::string player = tlxCfgPlayerDirectAddress();
  const std::string base = tlxCfgBaseDirectAddress();
  if (kind == kHnetSockNone || (kind == kHnetSockUdp && (player.empty() || base.empty()))) return 0;
  if (!TakeLock(m)) return -1;
  std::lock_guard guard(m.lock, std::adopt_lock);
  if (m.state != kHnetPaused) return 0;
  const TlxLinkPorts& ports = tlxLinkPorts();
  HnetAddr recvAddress, sendAddress;
  recvAddress.local.port = ports.hnetRecv;
  sendAddress.local.port = ports.hnetSend;
  recvAddress.remote.port = sendAddress.remote.port = ports.baseHnet;
  for (HnetAddr* address : {&recvAddress, &sendAddress}) {
    std::strncpy(address->local.address, player.c_str(), sizeof address->local.address - 1);
    std::strncpy(address->remote.address, base.c_str(), sizeof address->remote.address - 1);
  }
  std::shared_ptr<HnetMgrSock> recv = HnetMgrSockCreate(kind);
  std::shared_ptr<HnetMgrSock> send = HnetMgrSockCreate(kind);
  if (recv == nullptr || recv->Open(recvAddress) != 0) {
    tlxLog("[ERR] %s can't create HnetRecvSock.\n", "HnetMgr_Restart");
    return -1;
  }
  if (send == nullptr || send->Open(sendAddress) != 0) {
    tlxLog("[ERR] %s can't create HnetSendSock.\n", "HnetMgr_Restart");
    recv->Close();
    return -1;
  }
  {
    std::lock_guard sockGuard(m.sockLock);
    m.recvSock = std::move(recv);
    m.sendSock = std::move(send);
    m.baseAddress = base;
  }
  StartReceiveTask(m);
  m.state = kHnetUp;
  return 0;
}

int HnetMgr_RestartLocal() {
  if (HnetMgr_Restart() != 0) return -1;
  return KACH_Start() == 0 ? 0 : -1;
}

int HnetMgr_ChangeLinkMode(int mode) {
  Manager& m = mgr();
  if (mode < kLinkInternet || mode > kLinkNone) return -1;
  if (mode == m.linkMode) return 0;
  if (mode == kLinkInternet) {
    KACH_Shutdown();
    HnetMgr_Pause();
    HnetWack_CancelAll();
    m.sockKind = kHnetSockLink;
    m.linkMode = kLinkInternet;
    HnetMgr_Restart();
  } else if (mode == kLinkLocal) {
    HnetMgr_Pause();
    HnetWack_CancelAll();
    m.sockKind = kHnetSockUdp;
    m.linkMode = kLinkLocal;
    HnetMgr_Restart();
    KACH_Start();
  } else {
    m.linkMode = kLinkNone;
  }
  HnetMgr_PostNetworkEvent();
  return 0;
}

int HnetMgr_State() { return mgr().state; }
int HnetMgr_LinkMode() { return mgr().linkMode; }
int HnetMgr_SocketKind() { return mgr().sockKind; }

void HnetMgr_PostNetworkEvent() {
  Manager& m = mgr();
  const int type = m.connType >= 0 && m.connType <= 3 ? m.connType.load() : kConnNone;
  int32_t words[3] = {0, type, 1};
  if (m.linkMode == kLinkLocal) {
    const int link = KACH_LinkState();
    words[0] = link == kKachLinkUp ? 0 : link == kKachLinkDown || link == kKachLinkUnknown ? 1 : 2;
    words[2] = words[0] == 1 ? 0 : KACH_LinkUp() ? 1 : 2;
  } else if (m.linkMode == kLinkNone) {
    words[0] = 1;
    words[2] = 0;
  }
  tlxLog("[INFO] network event : state=%d type=%d ptype=%d\n", words[0], words[1], words[2]);
  eventMgrPost(EVENT_ID_NETWORK, words, sizeof words, -1);
}

int HnetMgr_SendMsg(TLXMsg* message) {
  if (message == nullptr || mgr().state != kHnetUp || (LocalNetwork() && !KACH_LinkUp())) return -1;
  return message->sendMsgQ("HNET");
}

int HnetMgr_SendData(TLXMsg* group, int32_t type, const void* payload, int32_t length) {
  if (group == nullptr || mgr().state != kHnetUp || (LocalNetwork() && !KACH_LinkUp())) return -1;
  return group->sendMsgQ("HNET", type, payload, length);
}

int HnetMgr_SendAndWait(TLXMsg* message, int type, int timeoutMs, int count) {
  if (mgr().state != kHnetUp || message == nullptr || count < 0) return kHnetResultFailed;
  for (int attempt = 0;; ++attempt) {
    if (LocalNetwork() && !KACH_LinkUp()) return kHnetResultLinkDown;
    if (HnetWack_Register(message->name(), type, timeoutMs) != 0) return kHnetResultFailed;
    message->sendMsgQ("HNET");
    const int status = HnetWack_Wait(message->name(), type);
    if (status == -1) return kHnetResultFailed;
    if (status != kWackTimedOut || attempt == count) return status;
  }
}

int HnetMgr_WaitMsg(TLXMsg* message, int type, int timeoutMs) {
  if (message == nullptr || HnetWack_Register(message->name(), type, timeoutMs) != 0) return kHnetResultFailed;
  const int status = HnetWack_Wait(message->name(), type);
  return status == -1 ? kHnetResultFailed : status;
}

int tlxHnetMgr_GetConnType() { return mgr().connType; }

int tlxHnetMgr_SetConnType(int type) {
  Manager& m = mgr();
  if (type < kConnWlan || type > kConnHotspot) return -1;
  if (type == m.connType && type != kConnEther) return 0;
  AnetMgr_Cleanup();
  KACH_SetConnType(type);
  tlxCfgSet("hnet/conntype", kConnTypeNames[type]);
  m.connType = type;
  AnetMgr_Init();
  HnetMgr_PostNetworkEvent();
  return 0;
}

}  // namespace tlx::link

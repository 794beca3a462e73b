#include "link/network/anet_mgr.h"

#include "link/network/anet_mgr_state.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "link/config/tlx_cfg.h"
#include "link/network/anet_config.h"
#include "link/network/hnet_mgr.h"
#include "link/network/hnet_wack.h"
#include "link/network/kach.h"
#include "link/network/tlx_msg.h"
#include "link/os/event_mgr.h"
#include "link/os/manager_lock.h"
#include "link/os/sem_lib.h"
#include "link/os/task_lib.h"
#include "link/os/tlx_log.h"
#include "win32/ticks.h"

namespace tlx::link {

using namespace anet;

Manager& anet::mgr() {
  static Manager instance;
  return instance;
}

namespace {

constexpr int kIdleTicks = 30;
constexpr int kAnetEventDepth = 8;
constexpr uint32_t kHotspotEvents = 0x200000;
constexpr int32_t kNoValue = 999;

int GetState(Manager& m) {
  std::lock_guard guard(m.stateLock);
  return m.state;
}
void SetState(Manager& m, int state) {
  std::lock_guard guard(m.stateLock);
  m.state = state;
}
int GetSub(Manager& m) {
  std::lock_guard guard(m.subLock);
  return m.sub;
}

void PostStatus(Manager& m) {
  TLX_TIMESPEC now{};
  tickClock(0, &now);
  const int32_t words[4] = {GetState(m), GetSub(m), m.kind, now.tv_sec};
  tlxLog("[INFO] <ANET_EVENT>dst[%d],status[%d],sub[%d],conn[%d],time[%ld]\n", 2, words[0], words[1], words[2],
         static_cast<long>(words[3]));
  eventMgrPost(EVENT_ID_ANET, words, sizeof words, -1);
}

// Tells the base of a state change and reports the status.
void Broadcast(Manager& m, int32_t event) {
  const int32_t words[3] = {event, GetSub(m), 0};
  if (m.group != nullptr) HnetMgr_SendData(m.group.get(), ANET_MSG_EVENT, words, sizeof words);
  if (m.interfaceType == 0 && Wlan()) {
    uint8_t status[kStatusBytes];
    if (AnetMgr_QueryStatus(status) == kHnetResultLinkDown) KACH_SetNextNotice(KACH_MSG_POLL_VARIANT);
  }
  PostStatus(m);
}

// Loads the interface's settings from its category.
void PrepareInterface(Manager& m) {
  std::lock_guard guard(m.interfaceLock);
  m.interface.present = false;
  if (m.interfaceType == 0) {
    tlxLog("[INFO] Network connects via Base.\n");
    return;
  }
  if (m.kind != kAnetKindStatic && m.kind != kAnetKindDhcp) return;
  m.interface.present = true;
  m.interface.address = m.kind == kAnetKindStatic ? tlxCfgGet("network/ether/IPaddress") : std::string();
  SetState(m, kAnetStateDown);
  std::lock_guard subGuard(m.subLock);
  m.sub = 0;
}

void ConnectInterface(Manager& m) {
  std::lock_guard guard(m.interfaceLock);
  if (m.interface.present) SetState(m, kAnetStateUp);
}
void DisconnectInterface(Manager& m) {
  std::lock_guard guard(m.interfaceLock);
  if (m.interface.present) SetState(m, kAnetStateDown);
}

int ReadKind(Manager& m) {
  return AnetMgrConfig_ParseKind(
      tlxCfgGet(m.interfaceType == 1 ? "network/conntype" : "network/wlan/conntype").c_str());
}

// A command for the manager: to its own group on Ethernet, else to the base.
void SendCommand(Manager& m, int32_t command) {
  if (!Wlan()) {
    AnetMgr_QueueCommand(command);
    return;
  }
  const int32_t words[2] = {command, 0};
  int result = kHnetResultFailed;
  if (m.group != nullptr && SendLock(m)) {
    std::lock_guard guard(m.sendLock, std::adopt_lock);
    std::memcpy(m.group->buffer(), words, sizeof words);
    m.group->setType(ANET_MSG_COMMAND);
    m.group->setLength(sizeof words);
    result = HnetMgr_SendAndWait(m.group.get(), command + 200, kAnswerMs, kResends);
  }
  if (result != kWackAcked) {
    const int32_t event[4] = {4, m.kind, m.kind, 0};
    eventMgrPost(EVENT_ID_ANET, event, sizeof event, -1);
    tlxLog("[INFO] wireless out of bounds.\n");
  }
}

void Execute(Manager& m, int32_t command) {
  const int state = GetState(m);
  tlxLog("[INFO] AnetMgr_CmdProc:cmd=%d,invoker=%d.state=%d,sub=%d\n", command, 0, state, GetSub(m));
  switch (command) {
    case ANET_CMD_CONNECT:
      if (state == kAnetStateUp) {
        Broadcast(m, ANET_EV_UP);
      } else {
        if (m.interfaceType == 1) tlxCfgNotifyIndex(0);
        ConnectInterface(m);
      }
      break;
    case ANET_CMD_DISCONNECT:
      if (state == kAnetStateDown) Broadcast(m, ANET_EV_DOWN);
      if (state != 1) DisconnectInterface(m);
      break;
    case ANET_CMD_CONFIG_CHANGED: {
      const int kind = ReadKind(m);
      if (kind == m.kind) {
        PrepareInterface(m);
        SendCommand(m, ANET_CMD_DISCONNECT);
        break;
      }
      tlxLog("[INFO] CONFIG CHANGED from [%d]to[%d]\n", m.kind.load(), kind);
      DisconnectInterface(m);
      SetState(m, kAnetStateDown);
      Broadcast(m, ANET_EV_DOWN);
      m.kind = kind;
      PrepareInterface(m);
      if (kind == kAnetKindStatic || kind == kAnetKindDhcp) SendCommand(m, ANET_CMD_CONNECT);
      break;
    }
  }
}

void FollowState(Manager& m) {
  int state, previous;
  {
    std::lock_guard guard(m.stateLock);
    state = m.state;
    previous = m.previousState;
    m.previousState = state;
  }
  const int sub = GetSub(m);
  {
    std::lock_guard guard(m.subLock);
    m.previousSub = sub;
  }
  if (state == previous) {
    if (state == kAnetStateDown && (m.kind == kAnetKindStatic || m.kind == kAnetKindDhcp)) {
      SendCommand(m, ANET_CMD_CONNECT);
    }
    return;
  }
  if (state == kAnetStateFailed) {
    tlxLog("[INFO] ### ANET_STATE_FAILED[%d] ###\n", sub);
    Broadcast(m, ANET_EV_FAILED);
    if (sub != 101 && sub != 102 && sub != 104 && sub != 500) AnetMgr_QueueCommand(ANET_CMD_DISCONNECT);
  } else if (state == kAnetStateDown) {
    tlxLog("[INFO] ### ANET_STATE_DOWN ###\n");
    Broadcast(m, ANET_EV_DOWN);
  } else if (state == kAnetStateUp) {
    tlxLog("[INFO] ### ANET_STATE_UP ###\n");
    // The address check comes before the status report, so whoever sees
    // the report knows the check is done.
    if (m.interfaceType == 1) {
      ANET_CFG_ETHERAV av{};
      AnetMgrConfig_Read(ANET_CFG_ETHERAV_TYPE, &av);
      std::string address;
      {
        std::lock_guard guard(m.interfaceLock);
        address = m.interface.address;
      }
      KACH_CheckAddress(av.ipAddress, address.c_str());
    }
    Broadcast(m, ANET_EV_UP);
  }
}

// A base EVENT_ID_ANET on WLAN sets state, sub-state and connection kind.
void TakeEvents(Manager& m) {
  TLX_EVENT_MSG event;
  while (msgQReceive(m.eventQueue, &event, sizeof event, 0) == 0) {
    if (!Wlan() || event.eventId != EVENT_ID_ANET || event.length < 12) continue;
    int32_t words[3];
    std::memcpy(words, event.payload, sizeof words);
    SetState(m, words[0]);
    {
      std::lock_guard guard(m.subLock);
      m.sub = words[1];
    }
    m.kind = words[2];
  }
}

bool PopCommand(Manager& m, int32_t* command) {
  std::lock_guard guard(m.commandLock);
  if (m.commands.empty()) return false;
  *command = m.commands.front();
  m.commands.pop_front();
  return true;
}

// "tAnetMgr".
void ManagerTask(intptr_t) {
  Manager& m = mgr();
  if ((m.kind == kAnetKindStatic || m.kind == kAnetKindDhcp) && !Wlan()) SendCommand(m, ANET_CMD_CONNECT);
  while (m.running && !taskStopRequested()) {
    if (!Wlan()) FollowState(m);
    TakeEvents(m);
    int32_t command;
    if (PopCommand(m, &command)) {
      Execute(m, command);
    } else {
      semTake(m.wake, kIdleTicks);
    }
  }
}

}  // namespace

int anet::AnetMsg::handleMsg(const TLX_MSG_HEADER& header, const uint8_t* payload) {
  Manager& m = mgr();
  const int length = header.length < 0 ? 0 : header.length > kMsgPayloadMax ? kMsgPayloadMax : header.length;
  int32_t code = 0;
  if (length < 4 && (header.type >= ANET_MSG_COMMAND && header.type <= ANET_MSG_QUERY)) {
    tlxLog("[ERR] msgQRecvAction: short message type=%d length=%d\n", header.type, header.length);
    return 0;
  }
  if (length >= 4) std::memcpy(&code, payload, sizeof code);
  switch (header.type) {
    case ANET_MSG_COMMAND:
      AnetMgr_QueueCommand(code);
      break;
    case ANET_MSG_EVENT:
      switch (code) {
        case 210:
        case 211:
        case 300:
        case 301:
        case 302:
          HnetWack_Ack("ANET", code);
          break;
        case ANET_EV_UP:
        case ANET_EV_DOWN:
        case ANET_EV_FAILED: {
          tlxLog(code == ANET_EV_UP     ? "[INFO] AnetMsg: NOTIFY_UP.\n"
                 : code == ANET_EV_DOWN ? "[INFO] AnetMsg: NOTIFY_DOWN.\n"
                                        : "[INFO] AnetMsg: NOTIFY_FAILED.\n");
          HnetWack_Ack("ANET", code);
          const int32_t answer[3] = {code + 1, kNoValue, kNoValue};
          HnetMgr_SendData(this, ANET_MSG_EVENT, answer, sizeof answer);
          break;
        }
        case ANET_EV_DOWN_TIMER:
          if (m.kind == 14) {
            const int32_t event[4] = {0, 0, 14, 0};
            eventMgrPost(EVENT_ID_ANET, event, sizeof event, -1);
          }
          break;
        default:
          tlxLog("[ERR] AnetMsg: unknown event=%d\n", code);
      }
      break;
    case ANET_MSG_CONFIG:
      if (code == ANET_CFG_GET_ANSWER && length >= kConfigHeader) {
        KeepConfigAnswer(m, header, payload);
      } else if (code == ANET_CFG_SET_ANSWER) {
        HnetWack_Ack("ANET", ANET_CFG_SET_ANSWER);
      } else if (code == 230 || code == 231) {
        HnetWack_Cancel("ANET");
      } else {
        tlxLog("[ERR] AnetMsg: bad configuration message code=%d length=%d\n", code, length);
      }
      break;
    case ANET_MSG_QUERY:
      if (code == ANET_QUERY_ANSWER && length >= 8 + kStatusBytes) {
        std::lock_guard guard(m.answer.lock);
        std::memcpy(&m.answer.checksum, payload + 4, sizeof m.answer.checksum);
        m.answer.data.assign(payload + 8, payload + 8 + kStatusBytes);
        HnetWack_Ack("ANET", ANET_QUERY_ANSWER);
      } else if (code == 451) {
        HnetWack_Cancel("ANET");
      } else {
        tlxLog("[ERR] AnetMsg: bad query message code=%d length=%d\n", code, length);
      }
      break;
    default:
      tlxLog("[ERR] msgQRecvAction: Unknown MSG type=%d\n", header.type);
  }
  return 0;
}

namespace {

void CleanupLocked(Manager& m);

}  // namespace

int AnetMgr_Init() {
  Manager& m = mgr();
  std::lock_guard guard(m.startLock);
  if (m.started) return 0;
  AnetMgrConfig_WriteDefaults();
  tlxCfgLoadCategory("network.cfg", 0);
  const int type = tlxHnetMgr_GetConnType();
  m.interfaceType = type == kConnWlan || type == kConnHotspot ? 0 : 1;
  m.kind = ReadKind(m);
  {
    std::lock_guard stateGuard(m.stateLock);
    m.state = m.previousState = kAnetStateDown;
  }
  {
    std::lock_guard subGuard(m.subLock);
    m.sub = m.previousSub = 0;
  }
  {
    std::lock_guard commandGuard(m.commandLock);
    m.commands.clear();
  }
  tlxLog("[INFO] AnetInit: IfType:%d, ConnType:%d\n", m.interfaceType.load(), m.kind.load());
  m.group = std::make_unique<AnetMsg>();
  const char* failure = nullptr;
  if (m.group->queue() == nullptr) failure = "[ERR] AnetMgr_MsgTaskInit failed.\n";
  if (failure == nullptr) PrepareInterface(m);
  const uint32_t mask = type == kConnWlan ? EVENT_ID_ANET : type == kConnHotspot ? kHotspotEvents : EVENT_ID_NETCONFIG;
  if (failure == nullptr && ((m.eventQueue = msgQCreate(kAnetEventDepth, sizeof(TLX_EVENT_MSG), 0)) == nullptr ||
                             eventMgrQueueAttach(m.eventQueue, mask) != 0)) {
    failure = "[ERR] AnetMgr_EventInit failed.\n";
  }
  if (failure == nullptr && (m.wake = semBCreate(0, 0)) == nullptr) failure = "[ERR] AnetMgr_NetTaskInit failed.\n";
  if (failure == nullptr &&
      (m.msgTask = taskSpawn("tAnetMsg", 93, 0, 8192, tlxMsgTaskEntry, reinterpret_cast<intptr_t>(m.group.get()))) <=
          0) {
    failure = "[ERR] AnetMgr_MsgTaskSpawn failed.\n";
  }
  m.running = true;
  if (failure == nullptr && (m.mgrTask = taskSpawn("tAnetMgr", 93, 0, 8192, ManagerTask, 0)) <= 0) {
    failure = "[ERR] AnetMgr_NetTaskSpawn failed.\n";
  }
  m.shuttingDown = false;
  m.started = true;
  if (failure != nullptr) {
    tlxLog("%s", failure);
    CleanupLocked(m);
    return -1;
  }
  return 0;
}

void AnetMgr_Cleanup() {
  Manager& m = mgr();
  std::lock_guard guard(m.startLock);
  CleanupLocked(m);
}

namespace {

void CleanupLocked(Manager& m) {
  if (!m.started) return;
  m.shuttingDown = true;
  m.running = false;
  HnetWack_Cancel("ANET");
  if (m.wake != nullptr) semGive(m.wake);
  if (m.mgrTask > 0) taskDelete(m.mgrTask);
  m.mgrTask = 0;
  if (GetState(m) == kAnetStateUp) {
    DisconnectInterface(m);
    Broadcast(m, ANET_EV_DOWN);
  }
  if (m.group != nullptr) m.group->stopRecvMsgQ();
  if (m.msgTask > 0) taskDelete(m.msgTask);
  m.msgTask = 0;
  if (m.eventQueue != nullptr) {
    eventMgrQueueDetach(m.eventQueue);
    msgQDelete(m.eventQueue);
    m.eventQueue = nullptr;
  }
  if (m.wake != nullptr) semDelete(m.wake);
  m.wake = nullptr;
  {
    std::lock_guard sendGuard(m.sendLock);
    m.group.reset();
  }
  {
    std::lock_guard interfaceGuard(m.interfaceLock);
    m.interface = Interface{};
  }
  m.started = false;
}

}  // namespace

int AnetMgr_QueueCommand(int32_t command) {
  Manager& m = mgr();
  {
    std::lock_guard guard(m.commandLock);
    if (command != ANET_CMD_CONNECT && command != ANET_CMD_DISCONNECT && command != ANET_CMD_CONFIG_CHANGED) {
      tlxLog("[ERR] unknown CMD type=%d\n", command);
      return -1;
    }
    if (command != ANET_CMD_CONNECT) m.commands.clear();
    if (command == ANET_CMD_CONNECT) {
      for (const int32_t queued : m.commands) {
        if (queued == ANET_CMD_CONNECT) return 0;
      }
    }
    if (static_cast<int>(m.commands.size()) >= kAnetCommandQueueMax) {
      tlxLog("[ERR] AnetMsg: Queue is full.\n");
      return -1;
    }
    m.commands.push_back(command);
  }
  if (const SEM_ID wake = m.wake) semGive(wake);
  return 0;
}

int AnetMgr_CommandCount() {
  Manager& m = mgr();
  std::lock_guard guard(m.commandLock);
  return static_cast<int>(m.commands.size());
}

int AnetMgr_State() { return GetState(mgr()); }
int AnetMgr_ConnKind() { return mgr().kind; }

}  // namespace tlx::link

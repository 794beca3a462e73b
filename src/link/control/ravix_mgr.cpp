#include "link/control/ravix_mgr.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstring>
#include <memory>
#include <mutex>

#include "link/config/tlx_auth_fns.h"
#include "link/config/tlx_cfg.h"
#include "link/control/base_probe.h"
#include "link/control/tv_mgr.h"
#include "link/network/hnet_mgr.h"
#include "link/network/link_mgr_client.h"
#include "link/network/tlx_msg.h"
#include "link/os/event_mgr.h"
#include "link/os/msg_q_lib.h"
#include "link/os/task_lib.h"
#include "link/os/tlx_log.h"

namespace tlx::link {
namespace {

constexpr int kAliveTicks = 480;
constexpr int kPauseTicks = 20;
constexpr int kEventRetryTicks = 60;
constexpr int kEventTries = 3;
constexpr int kMsgTaskEndMs = 15000;
constexpr int kStopQueueDepth = 3;
constexpr int kStopMsgSize = 10;
constexpr char kStopMsg[kStopMsgSize] = "RavixStop";
constexpr int kRavixMsgMax = static_cast<int>(sizeof(RavixAliveMsg));

// Session-task phases.
enum Phase : int {
  kPhaseConnecting = 1,
  kPhaseRunning = 2,
  kPhaseNoTask = 3,
  kPhaseCleanup = 4,
  kPhaseCleanupDone = 5,
};

// Keep-alive states.
enum Alive : int {
  kAliveWaiting = 0,
  kAliveAnswered = 1,
  kAliveKilled = 2,
};

// The "RAVIX" group: the base's answers to "ALIVE".
class RavixMsg final : public TLXMsg {
 public:
  RavixMsg() : TLXMsg("RAVIX", kRavixMsgMax) {}

 protected:
  const void* payload() override { return payload_; }
  int handleMsg(const TLX_MSG_HEADER& header, const uint8_t* payload) override;

 private:
  uint8_t payload_[kRavixMsgMax] = {};
};

struct Manager {
  // Serialises the transitions; never held across the connect.
  std::mutex lock;
  std::atomic<int> state{kRavixIdle};
  std::atomic<bool> connecting{false};
  std::atomic<int> phase{0};
  std::atomic<int> alive{kAliveWaiting};
  std::atomic<bool> traffic{false};
  std::atomic<int> setting{0};
  std::atomic<int> timeout{0};

  // The session task and its stop queue, which the manager owns from the
  // start until the task has been reaped (under lock).
  int sessionTask = 0;
  MSG_Q_ID stopQueue = nullptr;

  // The session task's group while it runs, for tlxRavixKeepAliveMsg_Send.
  std::mutex groupLock;
  RavixMsg* group = nullptr;  // under groupLock
};

Manager& mgr() {
  static Manager instance;
  return instance;
}

int RavixMsg::handleMsg(const TLX_MSG_HEADER& header, const uint8_t* payload) {
  Manager& m = mgr();
  if (header.type == RAVIX_MSG_ALIVE) {
    if (header.length < 4) {
      tlxLog("[ERR] msgQRecvAction: keep-alive answer without its rate (length=%d)\n", header.length);
      return 0;
    }
    int32_t rate;
    std::memcpy(&rate, payload, sizeof rate);
    tlxLog("[INFO] ############## RATE = %d \n", rate);
    int waiting = kAliveWaiting;
    m.alive.compare_exchange_strong(waiting, kAliveAnswered);
  } else if (header.type == RAVIX_MSG_KILL) {
    tlxLog("[INFO] msgQRecvAction: the base ended the session.\n");
    m.alive = kAliveKilled;
  } else {
    tlxLog("[ERR] msgQRecvAction: Unknown MSG type=%d\n", header.type);
  }
  return 0;
}

void PublishGroup(Manager& m, RavixMsg* group) {
  std::lock_guard guard(m.groupLock);
  m.group = group;
}

// The keep-alive cycle; returns when the base killed the session, the
// answers stopped, a send failed without traffic, or a stop came.
int KeepAliveLoop(Manager& m) {
  for (;;) {
    m.alive = kAliveWaiting;
    m.traffic = false;
    int pass = 0;
    bool newCycle = false;
    while (!newCycle) {
      ++pass;
      tlxLog("[INFO] #### Keep ALIVE loop = %d\n", pass);
      if (m.alive == kAliveKilled) return 0;
      if (m.alive == kAliveAnswered) break;
      if (tlxRavixKeepAliveMsg_Send() != 0 && !m.traffic) {
        tlxLog("[ERR] Ravix_KeepAlive ERR\n");
        taskDelay(kPauseTicks);
        return -1;
      }
      char stop[kStopMsgSize];
      if (msgQReceive(m.stopQueue, stop, sizeof stop, kAliveTicks) == 0) {
        tlxLog("[INFO] #### The RavixStop message is received.\n");
        return 0;
      }
      if (m.traffic && m.alive == kAliveWaiting) {
        newCycle = true;
      } else if (pass < 2) {
        continue;
      } else if (m.alive == kAliveAnswered) {
        newCycle = true;
      } else {
        tlxLog("[INFO] Ravix_KeepAlive END\n");
        return 0;
      }
    }
  }
}

// "tRavix".
void SessionTask(intptr_t) {
  Manager& m = mgr();
  {
    RavixMsg group;
    const int msgTask = taskSpawn("tRavixMsg", 87, 0, 4096, tlxMsgTaskEntry,
                                  reinterpret_cast<intptr_t>(static_cast<TLXMsg*>(&group)));
    if (group.queue() != nullptr && msgTask > 0) {
      PublishGroup(m, &group);
      taskDelay(kPauseTicks);
      KeepAliveLoop(m);
      taskDelay(kPauseTicks);
      PublishGroup(m, nullptr);
    } else {
      tlxLog("[ERR] RavixMgr_Task: the RAVIX group could not start.\n");
    }
    if (msgTask > 0) tlxMsgEndTask(group, msgTask, kMsgTaskEndMs);
  }
  if (m.phase != kPhaseCleanup) {
    tlxTvMgr_Stop();
    for (int i = 0; i < kEventTries && m.phase != kPhaseCleanup; ++i) {
      if (eventMgrPost(EVENT_ID_RAVIX, kRavixEndedEvent, sizeof kRavixEndedEvent, -1) == 0) break;
      taskDelay(kEventRetryTicks);
    }
  }
}

// Waits until the session task's thread has ended, then deletes its stop
// queue. Under m.lock.
void ReapSessionTask(Manager& m) {
  if (m.sessionTask > 0) {
    while (taskReap(m.sessionTask) == 0) taskDelay(1);
  }
  m.sessionTask = 0;
  if (m.stopQueue != nullptr) msgQDelete(m.stopQueue);
  m.stopQueue = nullptr;
}

// Asks the session task to stop and reaps it. Under m.lock.
void EndSessionTask(Manager& m) {
  m.phase = kPhaseCleanup;
  if (m.sessionTask > 0) msgQSend(m.stopQueue, kStopMsg, sizeof kStopMsg, 0, 0);
  ReapSessionTask(m);
  m.phase = kPhaseCleanupDone;
  tlxLog("[INFO] Cleanup normal end\n");
}

// Starts "tRavix" with a new stop queue. Under m.lock.
int SpawnSessionTask(Manager& m) {
  m.phase = kPhaseConnecting;
  if (const int id = taskNameToId("tRavix"); id != -1) {
    tlxLog("[INFO] There is already RavixMgr_Task. ID = %d\n", id);
    tlxLog("[INFO] RavixMgr_TaskSpawn abnornal end.\n");
    m.phase = kPhaseNoTask;
    return -1;
  }
  // The last session's task ended by itself: its record and queue go now.
  ReapSessionTask(m);
  m.stopQueue = msgQCreate(kStopQueueDepth, kStopMsgSize, 0);
  m.sessionTask = m.stopQueue != nullptr ? taskSpawn("tRavix", 86, 0, 51200, SessionTask, 0) : -1;
  if (m.sessionTask <= 0) {
    m.sessionTask = 0;
    if (m.stopQueue != nullptr) msgQDelete(m.stopQueue);
    m.stopQueue = nullptr;
    m.phase = kPhaseNoTask;
    return -1;
  }
  m.phase = kPhaseRunning;
  return 0;
}

int Start(Manager& m, std::unique_lock<std::mutex>& lock) {
  if (m.connecting) return -1;
  m.connecting = true;
  tlxBaseProbeArm();
  lock.unlock();
  const int code = tlxRavixConnect();
  if (code == 0) {
    // What the base station offers, for the stream about to be built.
    const RavixAddress base = tlxRavixAddress();
    tlxBaseProbe(base.host.c_str(), base.port);
  }
  lock.lock();
  m.connecting = false;
  if (code != 0) return code;
  if (m.state != kRavixIdle) {
    // Aborted (state 3) while the connect finished.
    tlxLinkMgrDisconnect();
    return -1;
  }
  if (SpawnSessionTask(m) != 0) {
    tlxLinkMgrDisconnect();
    return -1;
  }
  if (HnetMgr_ChangeLinkMode(kLinkInternet) != 0) {
    EndSessionTask(m);
    tlxLinkMgrDisconnect();
    return -1;
  }
  return 0;
}

void Stop(Manager& m, bool restartHome) {
  EndSessionTask(m);
  tlxLinkMgrDisconnect();
  if (restartHome) {
    HnetMgr_Cleanup();
    HnetMgr_Init();
  }
  TvMgr_ClearRequests();
}

int Step(int setting) { return setting % 10; }

bool NewBaseType(int baseType) { return baseType < 0 || baseType > 2; }

}  // namespace

int tlxRavixMgr_ChangeState(int state) {
  Manager& m = mgr();
  if (state == kRavixTraffic) {
    m.traffic = true;
    return 0;
  }
  std::unique_lock lock(m.lock);
  const int from = m.state;
  if (state == from) return 0;
  int result = -1;
  switch (state) {
    case kRavixIdle:
      Stop(m, true);
      result = 0;
      break;
    case kRavixStarted:
      if (from == kRavixIdle) result = Start(m, lock);
      break;
    case kRavixPlaying:
      if (from == kRavixIdle || from == kRavixStarted) result = 0;
      break;
    case kRavixStopping:
      if (from == kRavixIdle) {
        tlxLinkMgrDisconnect();
        tlxBaseProbeAbort();
      } else {
        tlxTvMgr_Stop();
      }
      result = 0;
      break;
    default:
      break;
  }
  if (result == 0) m.state = state;
  return result;
}

int tlxRavixMgr_GetState() { return mgr().state; }

void RavixMgr_Cleanup() {
  Manager& m = mgr();
  std::lock_guard guard(m.lock);
  if (m.state != kRavixIdle || m.sessionTask != 0) Stop(m, false);
  m.state = kRavixIdle;
}

int tlxRavixMgr_SetBitrate(int setting, int* out) {
  if (setting < 1 || setting > 5007) return -1;
  Manager& m = mgr();
  if (out != nullptr) *out = RavixMgr_ClassChange(m.setting, setting, tlxAuthGetBaseType());
  m.setting = setting;
  return 0;
}

int tlxRavixMgr_GetBitrate() { return mgr().setting; }

int tlxRavixMgr_SetTimeout(int seconds) {
  if (seconds < 0 || seconds > 7200) return -1;
  mgr().timeout = seconds;
  return 0;
}

int tlxRavixMgr_GetTimeout() { return mgr().timeout; }

int tlxRavixKeepAliveMsg_Send() {
  Manager& m = mgr();
  RavixAliveMsg alive{};
  alive.rate = RavixMgr_RateValue(m.setting, tlxCfgGet("tlx/bitrates"), tlxAuthGetBaseType());
  alive.word2 = 2;
  alive.word3 = 3;
  std::strncpy(alive.text, "ALIVE", sizeof alive.text);
  std::lock_guard guard(m.groupLock);
  if (m.group == nullptr) return -1;
  return HnetMgr_SendData(m.group, RAVIX_MSG_ALIVE, &alive, sizeof alive);
}

int RavixMgr_RateValue(int setting, const std::string& bitrates, int baseType) {
  const int step = Step(setting);
  if (step == 7) return setting - step;
  if (!bitrates.empty() && step > 0) {
    int index = 0;
    for (size_t i = 0; i < bitrates.size();) {
      if (!std::isdigit(static_cast<unsigned char>(bitrates[i]))) {
        ++i;
        continue;
      }
      long value = 0;
      for (; i < bitrates.size() && std::isdigit(static_cast<unsigned char>(bitrates[i])); ++i) {
        value = std::min(value * 10 + (bitrates[i] - '0'), 0x7FFFFFFFL);
      }
      if (++index == step) {
        if (value != 0) return static_cast<int>(value);
        break;
      }
    }
  }
  static constexpr int kOldBases[7] = {0, 100, 200, 300, 500, 850, 1500};
  static constexpr int kNewBases[7] = {0, 100, 200, 300, 500, 850, 3000};
  if (step <= 6) return NewBaseType(baseType) ? kNewBases[step] : kOldBases[step];
  return 300;
}

int RavixMgr_ClassChange(int oldSetting, int newSetting, int baseType) {
  const int a = Step(oldSetting);
  const int b = Step(newSetting);
  if (a == b) return 0;
  const int low = std::min(a, b);
  const int high = std::max(a, b);
  if (low == 1) return 1;
  if (NewBaseType(baseType) && (high == 6 || (low == 6 && high == 7))) return 1;
  return 0;
}

}  // namespace tlx::link

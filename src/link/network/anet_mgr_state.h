// The network manager's state and the steps its files share: anet_mgr.cpp
// (the group, the manager task, start and shut-down) and anet_exchange.cpp
// (the configuration and status exchanges with the base). Internal to them.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "link/network/anet_config.h"
#include "link/network/anet_mgr.h"
#include "link/network/hnet_mgr.h"
#include "link/network/tlx_msg.h"
#include "link/os/manager_lock.h"
#include "link/os/msg_q_lib.h"
#include "link/os/sem_lib.h"

namespace tlx::link::anet {

inline constexpr int kSendLockTicks = 3000;
inline constexpr int kAnswerMs = 1000;
inline constexpr int kResends = 2;
inline constexpr int kConfigHeader = 16;  // {code, cfgType, size, checksum}
inline constexpr int kStatusBytes = 16;
// The "ANET" group: base answers and events, and the local commands.
class AnetMsg final : public TLXMsg {
 public:
  AnetMsg() : TLXMsg("ANET", kMsgPayloadMax) {}
  uint8_t* buffer() { return payload_; }

 protected:
  const void* payload() override { return payload_; }
  int handleMsg(const TLX_MSG_HEADER& header, const uint8_t* payload) override;

 private:
  uint8_t payload_[kMsgPayloadMax] = {};
};

// The answer of the exchange under way.
struct Answer {
  std::mutex lock;
  int expectedCfgType = 0;
  std::vector<uint8_t> data;
  int checksum = 0;
};

// The player's interface "etc0": settings and state only; it never touches
// the host's network configuration.
struct Interface {
  char name[11] = "etc0";
  bool present = false;
  std::string address;
};

struct Manager {
  std::mutex startLock;  // start and shut-down
  std::atomic<bool> started{false};
  std::atomic<bool> shuttingDown{false};
  std::atomic<bool> running{false};

  std::mutex stateLock;  // state and previous state
  int state = kAnetStateDown;
  int previousState = kAnetStateDown;
  std::mutex subLock;  // sub-state and previous sub-state
  int sub = 0;
  int previousSub = 0;

  std::atomic<int> interfaceType{1};
  std::atomic<int> kind{kAnetKindUnknown};

  std::unique_ptr<AnetMsg> group;
  ManagerLock sendLock;  // the group's header and payload buffer
  Answer answer;
  MSG_Q_ID eventQueue = nullptr;
  std::atomic<SEM_ID> wake{nullptr};
  int msgTask = 0;
  int mgrTask = 0;

  std::mutex interfaceLock;
  Interface interface;

  std::mutex commandLock;
  std::deque<int32_t> commands;
};

Manager& mgr();

inline bool Wlan() { return tlxHnetMgr_GetConnType() == kConnWlan; }

inline bool SendLock(Manager& m) {
  return m.sendLock.TakeFor(kSendLockTicks);
}

// Keeps the base's answer to a configuration read for the exchange under way
// ("tHnetMgrC" hands it over through the group).
void KeepConfigAnswer(Manager& m, const TLX_MSG_HEADER& header, const uint8_t* payload);

}  // namespace tlx::link::anet

// The network manager's exchanges with the base: configuration categories
// read and written on either device, and the base's network status.
#include <cstring>

#include "link/network/anet_config.h"
#include "link/network/anet_mgr_state.h"
#include "link/network/hnet_wack.h"
#include "link/os/task_lib.h"
#include "link/os/tlx_log.h"

namespace tlx::link {

using namespace anet;

namespace {

int ByteSum(const uint8_t* data, int size) {
  int sum = 0;
  for (int i = 0; i < size; ++i) sum += static_cast<int8_t>(data[i]);
  return sum;
}

}  // namespace

void anet::KeepConfigAnswer(Manager& m, const TLX_MSG_HEADER& header, const uint8_t* payload) {
  int32_t words[4];
  std::memcpy(words, payload, sizeof words);
  const int cfgType = words[1], size = words[2];
  std::lock_guard guard(m.answer.lock);
  if (cfgType != m.answer.expectedCfgType) {
    tlxLog("[INFO] recv unexpected cfg msg[%d]\n", cfgType);
    return;
  }
  if (size != AnetMgrConfig_GetPayloadSize(cfgType) || size > header.length - kConfigHeader) {
    tlxLog("[ERR] AnetMsg: answer size %d for cfgType %d ignored\n", size, cfgType);
    return;
  }
  m.answer.data.assign(payload + kConfigHeader, payload + kConfigHeader + size);
  m.answer.checksum = words[3];
  HnetWack_Ack("ANET", ANET_CFG_GET_ANSWER);
}

namespace {

// One exchange with the base: the group's message as set, waiting for
// `answer`; on 1 the kept data is checked against its checksum and copied.
int Exchange(Manager& m, int32_t answer, int resends, int cfgType, void* out, int outSize) {
  {
    std::lock_guard guard(m.answer.lock);
    m.answer.expectedCfgType = cfgType;
    m.answer.data.clear();
  }
  const int result = HnetMgr_SendAndWait(m.group.get(), answer, kAnswerMs, resends);
  if (result != kWackAcked || out == nullptr) return result;
  std::lock_guard guard(m.answer.lock);
  const int sum = ByteSum(m.answer.data.data(), static_cast<int>(m.answer.data.size()));
  if (sum != m.answer.checksum) {
    tlxLog("[ERR] Wrong checksum.TRUE:%d,FALSE:%d\n", m.answer.checksum, sum);
    return 4;
  }
  if (static_cast<int>(m.answer.data.size()) != outSize) return kHnetResultFailed;
  std::memcpy(out, m.answer.data.data(), outSize);
  return kWackAcked;
}

int BaseConfig(Manager& m, int32_t code, int cfgType, const void* data, void* out) {
  if (cfgType == ANET_CFG_DDNS_TYPE || cfgType == ANET_CFG_DDNS2_TYPE) return kHnetResultFailed;
  const int size = AnetMgrConfig_GetPayloadSize(cfgType);
  if (size <= 0 || m.group == nullptr) return kHnetResultFailed;
  if (!SendLock(m)) return kWackTimedOut;
  std::lock_guard guard(m.sendLock, std::adopt_lock);
  uint8_t* buffer = m.group->buffer();
  std::memset(buffer, 0, kConfigHeader + size);
  if (data != nullptr) std::memcpy(buffer + kConfigHeader, data, size);
  const int32_t words[4] = {code, cfgType, size, data != nullptr ? ByteSum(buffer + kConfigHeader, size) : 0};
  std::memcpy(buffer, words, sizeof words);
  m.group->setType(ANET_MSG_CONFIG);
  m.group->setLength(kConfigHeader + size);
  return Exchange(m, code + 20, kResends, code == ANET_CFG_GET ? cfgType : 0, out, size);
}

}  // namespace

int tlxAnetMgrAPI_GetConfig(int device, int cfgType, void* out) {
  Manager& m = mgr();
  if (out == nullptr) return kHnetResultFailed;
  if (m.shuttingDown) {
    tlxLog("[INFO] AnetMgr is about to be cleanuped\n");
    return kHnetResultFailed;
  }
  if (device == kAnetDevicePlayer) return AnetMgrConfig_Read(cfgType, out);
  if (device != kAnetDeviceBase) {
    tlxLog("[ERR] Unknown device:%d\n", device);
    return kHnetResultFailed;
  }
  return BaseConfig(m, ANET_CFG_GET, cfgType, nullptr, out);
}

int tlxAnetMgrAPI_SetConfig(int device, int cfgType, const void* data) {
  Manager& m = mgr();
  if (data == nullptr) return kHnetResultFailed;
  if (m.shuttingDown) {
    tlxLog("[INFO] AnetMgr is about to be cleanuped\n");
    return kHnetResultFailed;
  }
  if (device == kAnetDevicePlayer) {
    const int result = AnetMgrConfig_Write(cfgType, data);
    if (result != 1) return result;
    if ((m.interfaceType == 1 && cfgType == ANET_CFG_CONNTYPE_TYPE) ||
        (m.interfaceType == 0 && cfgType == ANET_CFG_WLAN_CONNTYPE_TYPE && !Wlan())) {
      AnetMgr_QueueCommand(ANET_CMD_CONFIG_CHANGED);
      taskDelay(3);
    }
    return 1;
  }
  if (device != kAnetDeviceBase) {
    tlxLog("[ERR] Unknown device:%d\n", device);
    return kHnetResultFailed;
  }
  const int result = BaseConfig(m, ANET_CFG_SET, cfgType, data, nullptr);
  if (cfgType >= ANET_CFG_ETHER_STATIC_TYPE && cfgType <= ANET_CFG_BASE3_TYPE) taskDelay(3);
  return result;
}

int AnetMgr_QueryStatus(uint8_t out[16]) {
  Manager& m = mgr();
  if (m.group == nullptr) return kHnetResultFailed;
  if (!SendLock(m)) return kWackTimedOut;
  std::lock_guard guard(m.sendLock, std::adopt_lock);
  uint8_t* buffer = m.group->buffer();
  std::memset(buffer, 0, 24);
  const int32_t code = ANET_QUERY_STATUS;
  std::memcpy(buffer, &code, sizeof code);
  m.group->setType(ANET_MSG_QUERY);
  m.group->setLength(24);
  return Exchange(m, ANET_QUERY_ANSWER, 0, 0, out, kStatusBytes);
}

}  // namespace tlx::link

// Exports of the network and home-network managers.
#include <cstdlib>
#include <cstring>

#include "link/config/auth_target.h"
#include "link/network/anet_config.h"
#include "link/network/anet_mgr.h"
#include "link/network/hnet_mgr.h"
#include "link/tlx_bcf.h"

namespace {

// The base's category whose answer is zeroed before it is asked for.
constexpr size_t kZeroedBaseBytes = 438;

// The authentication target follows the internet link: the record's host (at
// most 51 characters) and port, without proxy.
void RefreshAuthTarget(const void* data) {
  tlx::link::ANET_CFG_RAVIX record;
  std::memcpy(&record, data, sizeof record);
  tlx::link::TLX_AUTH_TARGET target{};
  std::memcpy(target.host, record.hostName, sizeof record.hostName - 1);
  char port[sizeof record.port + 1] = {};
  std::memcpy(port, record.port, sizeof record.port);
  target.port = static_cast<uint16_t>(std::strtol(port, nullptr, 10));
  tlx::link::tlxSetAuthTarget(target);
}

}  // namespace

TLX_BCF_API int tlxAnetMgrAPI_SetConfig(int device, int cfgType, const void* data) {
  const int result = tlx::link::tlxAnetMgrAPI_SetConfig(device, cfgType, data);
  if (device == tlx::link::kAnetDevicePlayer && cfgType == tlx::link::ANET_CFG_RAVIX_TYPE && data != nullptr) {
    RefreshAuthTarget(data);
  }
  return result;
}

TLX_BCF_API int tlxAnetMgrAPI_GetConfig(int device, int cfgType, void* out) {
  if (device == tlx::link::kAnetDeviceBase && cfgType == tlx::link::ANET_CFG_DDNS_TYPE && out != nullptr) {
    std::memset(out, 0, kZeroedBaseBytes);
  }
  return tlx::link::tlxAnetMgrAPI_GetConfig(device, cfgType, out);
}

TLX_BCF_API int tlxHnetMgr_GetConnType() { return tlx::link::tlxHnetMgr_GetConnType(); }

TLX_BCF_API int tlxHnetMgr_SetConnType(int type) {
  using tlx::link::HnetMgr_Cleanup;
  using tlx::link::HnetMgr_Init;
  using tlx::link::kConnEther;
  using tlx::link::kConnRavix;
  const int before = tlx::link::tlxHnetMgr_GetConnType();
  // Leaving the internet link, the home network starts afresh on the old type
  // before the change; taking it, after the change, on the new one.
  if (before == kConnRavix && type == kConnEther) {
    HnetMgr_Cleanup();
    HnetMgr_Init();
  }
  const int result = tlx::link::tlxHnetMgr_SetConnType(type);
  if (before == kConnEther && type == kConnRavix) {
    HnetMgr_Cleanup();
    HnetMgr_Init();
  }
  return result;
}

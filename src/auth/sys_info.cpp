#include "auth/sys_info.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "auth/auth_log.h"
#include "auth/auth_state.h"

namespace tlx::auth {

int tlxSysInfoRead(int item, unsigned char* buffer, int* length) {
  const TlxAuthState& state = tlxAuthState();
  if (!state.registered) return -1;
  const TLX_SYSINFO_RECORD& record = state.sysInfo;
  struct {
    const void* data;
    size_t size;
  } value = {nullptr, 0};
  switch (item) {
    case SYSINFO_ETHER_MAC_ADDR_P: value = {record.etherMac, sizeof record.etherMac}; break;
    case SYSINFO_WLAN_MAC_ADDR_P: value = {record.wlanMac, sizeof record.wlanMac}; break;
    case SYSINFO_SHARED_KEY: value = {record.sharedKey, sizeof record.sharedKey}; break;
    case SYSINFO_PLAYER_IDENT:
      value = {record.playerIdent, strnlen(record.playerIdent, sizeof record.playerIdent)};
      break;
    case SYSINFO_INFO_MODEL_P: value = {record.modelName, strnlen(record.modelName, sizeof record.modelName)}; break;
    default: break;
  }
  if (value.size > 0) std::memcpy(buffer, value.data, value.size);
  *length = static_cast<int>(value.size);
  return 0;
}

namespace {

// Drops the edition letter: the 'P' or 'B' after the last digit that is
// followed by one of them ("AB1PC" -> "AB1C").
void RemoveEditionLetter(char* text) {
  char* letter = nullptr;
  for (char* p = text; p[0] != '\0'; ++p) {
    if (std::isdigit(static_cast<unsigned char>(p[0])) && (p[1] == 'P' || p[1] == 'B')) letter = p + 1;
  }
  if (letter != nullptr) std::memmove(letter, letter + 1, std::strlen(letter + 1) + 1);
}

}  // namespace

int sysInfoRead(int item, char* out, int outLen) {
  if (out == nullptr || outLen < 1) return -1;
  std::memset(out, 0, static_cast<size_t>(outLen));
  unsigned char value[256] = {};
  int length = 0;
  if (tlxSysInfoRead(item, value, &length) != 0) {
    tlxAuthLog("sysInfoRead failed\n\n");
    return -1;
  }
  if (length < 1 || length > 256) {
    tlxAuthLog("[ failed to get sysinfo ][%d]\n\n", length);
    return -1;
  }
  if (item == SYSINFO_PLAYER_IDENT || item == SYSINFO_INFO_MODEL_P) {
    if (length < outLen) {
      std::memcpy(out, value, static_cast<size_t>(length));
      if (item == SYSINFO_INFO_MODEL_P) RemoveEditionLetter(out);
      return 0;
    }
  } else if (2 * length < outLen) {
    for (int i = 0; i < length; ++i) std::snprintf(out + 2 * i, 3, "%.2X", value[i]);
    return 0;
  }
  tlxAuthLog("[ readsize too big ][%d]\n\n", length);
  return -1;
}

}  // namespace tlx::auth

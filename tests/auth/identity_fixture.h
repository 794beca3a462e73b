// The player identity the authentication tests register: shared key bytes
// 0..63, so the stream key and password of a test can be checked against
// values worked out by hand.
#pragma once

#include <cstring>
#include <string>

#include "auth/tlx_authentication.h"

namespace tlx::test {

inline TLX_SYSINFO_RECORD TestIdentity(const char* model = "QZA-K20US") {
  TLX_SYSINFO_RECORD record{};
  std::strncpy(record.modelName, model, sizeof record.modelName - 1);
  const uint8_t ether[6] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
  const uint8_t wlan[6] = {0x66, 0x77, 0x88, 0x99, 0xAA, 0xBB};
  std::memcpy(record.etherMac, ether, 6);
  std::memcpy(record.wlanMac, wlan, 6);
  std::memcpy(record.playerIdent, "ABCD1234", 9);
  for (int i = 0; i < 64; ++i) record.sharedKey[i] = static_cast<uint8_t>(i);
  return record;
}

// The shared key as the base station writes it: 128 upper-case hex digits.
inline std::string TestSharedKeyHex() {
  std::string hex;
  for (int i = 0; i < 64; ++i) {
    static const char* kDigits = "0123456789ABCDEF";
    hex += kDigits[i >> 4];
    hex += kDigits[i & 15];
  }
  return hex;
}

}  // namespace tlx::test

// The keep-alive channel's rules: wireless levels, the accepted direct-link
// pairs and the flags bytes of both ends.
#include "link/network/kach.h"

#include <arpa/inet.h>

#include "link/os/tlx_log.h"

namespace tlx::link {

int KACH_WlanLevel(int band, int qualityDbm) {
  static constexpr int kThresholds[3][8] = {
      {0, 0, -20, -70, -70, -70, -70, -74},
      {0, 0, 0, 0, 0, 0, -70, -74},
      {0, 0, -20, -63, -63, -63, -68, -74},
  };
  const int* table = kThresholds[band >= 0 && band <= 2 ? band : 2];
  int i = 0;
  while (i < 8 && qualityDbm < table[i]) ++i;
  const int level = i >= 4 ? i - 4 : 4 - i;
  tlxLog("[KACH_INFO] wlan band %d quality %d level %d\n", band, qualityDbm, level);
  return level;
}

bool KACH_AcceptWlanPair(in_addr_t base, in_addr_t player) {
  static const char* const kPairs[2][2] = {{"10.231.71.1", "10.231.71.2"}, {"172.29.71.1", "172.29.71.2"}};
  for (const auto& pair : kPairs) {
    if (base == inet_addr(pair[0]) && player == inet_addr(pair[1])) return true;
  }
  return false;
}

int KACH_BaseQuality(uint8_t flags) {
  if ((flags & 0x10) == 0) return 7;
  return (flags & 0x08) != 0 ? 5 : 6;
}

uint8_t KACH_PlayerFlags(bool linkFlagAtUp, bool linkFlag, int netState, int wirelessLevel) {
  uint8_t flags = 0xFF;
  if (!linkFlagAtUp) flags &= ~0x01;
  if (!linkFlag) flags &= ~0x02;
  if (netState == 6) flags &= ~0x08;
  if (netState == 7) flags &= ~0x10;
  return static_cast<uint8_t>((flags & 0x1F) | ((wirelessLevel << 5) & 0xE0));
}

}  // namespace tlx::link

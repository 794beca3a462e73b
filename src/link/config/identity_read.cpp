#include "link/config/identity_read.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "link/config/identity_values.h"
#include "link/os/tlx_log.h"

namespace tlx::link {
namespace {

template <size_t N>
bool OneOf(int id, const int (&ids)[N]) {
  return std::find(std::begin(ids), std::end(ids), id) != std::end(ids);
}

bool EditionId(int id) { return OneOf(id, kIdentityEditionIds); }

}  // namespace

int tlxIdentityFormat(int id, const uint8_t* value, int length, int size, char* buffer) {
  const bool text = OneOf(id, kIdentityTextIds) || EditionId(id);
  if ((text ? length : 2 * length) >= size) {
    tlxLog("[ERR] [ readsize too big ][%d]\n", length);
    return -1;
  }
  if (!text) {
    for (int i = 0; i < length; ++i) std::snprintf(buffer + 2 * i, 3, "%.2X", value[i]);
    return 0;
  }
  std::memcpy(buffer, value, static_cast<size_t>(length));
  if (EditionId(id)) {
    for (int i = length - 1; i > 0; --i) {
      if ((buffer[i] == 'P' || buffer[i] == 'B') && std::isdigit(static_cast<unsigned char>(buffer[i - 1]))) {
        std::memmove(buffer + i, buffer + i + 1, static_cast<size_t>(length - i));
        break;
      }
    }
  }
  return 0;
}

int tlxIdentityRead(int id, int size, char* buffer) {
  if (buffer == nullptr || size <= 0) return -1;
  std::memset(buffer, 0, static_cast<size_t>(size));
  uint8_t value[kIdentityReadMax];
  const int length = tlxIdentityValueRead(id, value, kIdentityReadMax);
  if (length < 0) {
    tlxLog("[ERR] sysInfoRead failed\n");
    return -1;
  }
  if (length < 1 || length > kIdentityReadMax) {
    tlxLog("[ERR] [ failed to get sysinfo ][%d]\n", length);
    return -1;
  }
  return tlxIdentityFormat(id, value, length, size, buffer);
}

int tlxLdInfo(const char* name, void* out, int size) {
  if (out == nullptr || size <= 0) return -1;
  std::memset(out, 0, static_cast<size_t>(size));
  constexpr int kMacTextSize = 2 * kIdentityMacSize + 1;
  if (name == nullptr || std::strcmp(name, "SYSID_WLAN_MAC_ADDR_P") != 0 || size < kMacTextSize) return -1;
  return tlxIdentityRead(SYSINFO_WLAN_MAC_ADDR_P, size, static_cast<char*>(out));
}

}  // namespace tlx::link

#include "nal_units.h"

#include <algorithm>

namespace tlx::avccore {

size_t UnitEnd(std::span<const uint8_t> unit) {
  for (size_t i = 1; i + 2 < unit.size(); ++i) {
    if (unit[i + 2] > 1) {
      i += 2;  // no start code can begin at i, i + 1 or i + 2
      continue;
    }
    if (unit[i] == 0 && unit[i + 1] == 0 && unit[i + 2] == 1) return i;
  }
  return unit.size();
}

std::span<const uint8_t> WithoutTrailingZeros(std::span<const uint8_t> unit) {
  size_t n = unit.size();
  while (n > 0 && unit[n - 1] == 0) --n;
  return unit.first(n);
}

bool TilesWithLengthPrefixes(std::span<const uint8_t> unit) {
  size_t pos = 0;
  bool any = false;
  while (pos + 4 <= unit.size()) {
    const uint32_t length = (uint32_t{unit[pos]} << 24) | (uint32_t{unit[pos + 1]} << 16) |
                            (uint32_t{unit[pos + 2]} << 8) | unit[pos + 3];
    if (length == 0) break;
    if (length > unit.size() - pos - 4) return false;
    pos += 4 + length;
    any = true;
  }
  return any && std::all_of(unit.begin() + pos, unit.end(), [](uint8_t b) { return b == 0; });
}

bool IsSlice(std::span<const uint8_t> nal) {
  const uint8_t type = NalType(nal);
  return type >= 1 && type <= 5;
}

bool StartsAccessUnit(std::span<const uint8_t> nal) {
  const uint8_t type = NalType(nal);
  if (type == 6 || type == 7 || type == 8 || type == 9) return true;
  if (type >= 14 && type <= 18) return true;
  // first_mb_in_slice is ue(v): 0 is a single 1 bit right after the header.
  if (type == 1 || type == 5) return nal.size() > 1 && (nal[1] & 0x80) != 0;
  return false;
}

}  // namespace tlx::avccore

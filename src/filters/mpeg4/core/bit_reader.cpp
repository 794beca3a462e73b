#include "filters/mpeg4/core/bit_reader.h"

namespace tlx::mpeg4 {

void BitReaderInit(BitReader& reader, const uint8_t* start, uint32_t bitOffset, const uint8_t* end) {
  reader.begin = reinterpret_cast<uintptr_t>(start);
  reader.end = reinterpret_cast<uintptr_t>(end);
  reader.wideStop = reader.end - reader.begin >= 8 ? reader.end - 7 : reader.begin;
  reader.endBits = 8 * static_cast<uint64_t>(reader.end);
  reader.status = 0;
  reader.next = reader.begin;
  reader.cache = 0;
  reader.cached = 0;
  BitRefill(reader);
  uint32_t skip = bitOffset;
  while (skip > 32) {
    BitSkip(reader, 32);
    skip -= 32;
  }
  BitSkip(reader, skip);
}

BitCacheLoad BitLoadNearEnd(uint64_t cache, uint32_t cached, uintptr_t next, uintptr_t end) {
  for (; cached <= 56; cached += 8, ++next) {
    const uint64_t byte = next < end ? *reinterpret_cast<const uint8_t*>(next) : 0;
    // A refill after a part byte loads that byte again; the or leaves it as it was.
    cache |= byte << (56 - cached);
  }
  return {cache, next};
}

int BitPosition(const BitReader& reader, const uint8_t** byte, uint32_t* bitOffset) {
  const uint64_t position = BitPositionBits(reader);
  const uint64_t endBits = reader.endBits;
  if (position >= endBits) {
    *byte = reinterpret_cast<const uint8_t*>(reader.end);
    *bitOffset = 0;
    return position == endBits ? 0 : -1;
  }
  *byte = reinterpret_cast<const uint8_t*>(position >> 3);
  *bitOffset = static_cast<uint32_t>(position & 7);
  return 0;
}

}  // namespace tlx::mpeg4

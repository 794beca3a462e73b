#include "start_codes.h"

namespace tlx::mpeg4 {

uint32_t BitNextStartCode(BitReader& reader) {
  BitByteAlign(reader);
  // A start code counts only when all four of its bytes lie in the data.
  while (BitPositionBits(reader) + 32 <= reader.endBits) {
    if ((reader.window >> 8) == (kStartCodePrefix >> 8)) return kStartCodePrefix | (reader.window & 0xFF);
    BitSkip(reader, 8);
  }
  // No start code: the reader stops at the end of the data.
  while (!BitAtEnd(reader)) BitSkip(reader, 8);
  return 0;
}

uint32_t BitNextStartCodeAfterUserData(BitReader& reader) {
  uint32_t code = BitNextStartCode(reader);
  while (code == kUserDataStartCode) {
    BitSkip(reader, 32);
    code = BitNextStartCode(reader);
  }
  return code;
}

uint32_t BitNextIsResyncMarker(const BitReader& reader, uint32_t n) {
  const uint32_t toBoundary = reader.bitsLeft & 7;
  const uint32_t stuffingBits = toBoundary == 0 ? 8 : toBoundary;
  const uint32_t stuffing = reader.window >> (32 - stuffingBits);
  if (stuffing == (1u << (stuffingBits - 1)) - 1) {
    BitReader ahead = reader;
    BitSkip(ahead, stuffingBits);
    return ahead.window >> (32 - n);
  }
  if (toBoundary == 0 && (reader.window >> 24) == 0) return reader.window >> (32 - n);
  return 0xFFFFFFFF;
}

uint32_t BitPeekAfterStuffing(const BitReader& reader, uint32_t n) {
  const uint32_t toBoundary = reader.bitsLeft & 7;
  BitReader ahead = reader;
  const uint32_t stuffing = toBoundary == 0 ? 0 : BitRead(ahead, toBoundary);
  return (stuffing << n) | BitRead(ahead, n);
}

void BitSkipToResync(BitReader& reader, uint32_t n) {
  BitByteAlign(reader);
  const uint32_t zeros = n > 1 ? n - 1 : 1;
  while (!BitAtEnd(reader) && (reader.window >> (32 - zeros)) != 0) BitSkip(reader, 8);
}

}  // namespace tlx::mpeg4

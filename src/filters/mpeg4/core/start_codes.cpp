#include "filters/mpeg4/core/start_codes.h"

namespace tlx::mpeg4 {

uint32_t BitNextStartCode(BitReader& reader) {
  BitByteAlign(reader);
  // A start code counts only when all four of its bytes lie in the data.
  while (BitPositionBits(reader) + 32 <= reader.endBits) {
    if ((BitWindow(reader) >> 8) == (kStartCodePrefix >> 8)) return kStartCodePrefix | (BitWindow(reader) & 0xFF);
    BitSkip(reader, 8);
  }
  // No start code: the reader stops at the end of the data.
  while (!BitAtEnd(reader)) BitSkip(reader, 8);
  return 0;
}

void BitNextPictureStart(BitReader& reader) {
  BitByteAlign(reader);
  while (!BitAtEnd(reader) && !StartsShortPicture(reader) && (BitWindow(reader) >> 8) != (kStartCodePrefix >> 8)) {
    BitSkip(reader, 8);
  }
}

uint32_t BitNextStartCodeAfterUserData(BitReader& reader) {
  uint32_t code = BitNextStartCode(reader);
  while (code == kUserDataStartCode) {
    BitSkip(reader, 32);
    code = BitNextStartCode(reader);
  }
  return code;
}

namespace {

// Longest zero run of a resync marker: 23 zeros and a 1 begin a start code.
constexpr uint32_t kMaxResyncZeros = 22;

// `ahead` after the stuffing that ends a packet (a 0 and then 1s to the byte
// boundary, a whole 0x7F byte when aligned), or at the position itself when
// it is aligned and a zero byte follows. False when neither is there.
bool SkipPacketStuffing(const BitReader& reader, BitReader& ahead) {
  const uint32_t toBoundary = BitsToByteBoundary(reader);
  const uint32_t stuffingBits = toBoundary == 0 ? 8 : toBoundary;
  ahead = reader;
  if ((BitWindow(reader) >> (32 - stuffingBits)) == (1u << (stuffingBits - 1)) - 1) {
    BitSkip(ahead, stuffingBits);
    return true;
  }
  return toBoundary == 0 && (BitWindow(reader) >> 24) == 0;
}

}  // namespace

uint32_t BitNextIsResyncMarker(const BitReader& reader, uint32_t n) {
  BitReader ahead;
  if (!SkipPacketStuffing(reader, ahead)) return 0xFFFFFFFF;
  return BitWindow(ahead) >> (32 - n);
}

uint32_t BitResyncMarkerBits(const BitReader& reader, uint32_t length) {
  BitReader ahead;
  if (!SkipPacketStuffing(reader, ahead)) return 0;
  const uint32_t zeros = BitWindow(ahead) == 0 ? 32 : uint32_t(__builtin_clz(BitWindow(ahead)));
  if (zeros + 1 < length || zeros > kMaxResyncZeros) return 0;
  return zeros + 1;
}

uint32_t BitPeekAfterStuffing(const BitReader& reader, uint32_t n) {
  const uint32_t toBoundary = BitsToByteBoundary(reader);
  BitReader ahead = reader;
  const uint32_t stuffing = toBoundary == 0 ? 0 : BitRead(ahead, toBoundary);
  return (stuffing << n) | BitRead(ahead, n);
}

void BitSkipToResync(BitReader& reader, uint32_t n) {
  BitByteAlign(reader);
  const uint32_t zeros = n > 1 ? n - 1 : 1;
  while (!BitAtEnd(reader) && (BitWindow(reader) >> (32 - zeros)) != 0) BitSkip(reader, 8);
}

}  // namespace tlx::mpeg4

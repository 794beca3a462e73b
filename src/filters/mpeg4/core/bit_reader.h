// Bounded big-endian bit reader of the decoder core.
//
// The reader keeps a 64-bit cache of the next stream bits (first bit in the
// most significant position) holding at least 32 loaded bits between calls,
// so a read or peek of up to 32 bits is a shift of the cache, and the cache
// is topped up with one 8-byte load about every 32 bits. Parsers peek at
// BitWindow and then consume exactly the bits a code uses.
//
// Reading is bounded to [begin, end): 8-byte loads are made only when all
// eight bytes lie inside, the last bytes are loaded one at a time, and bytes
// outside the input read as zero without being touched. Consuming bits past
// the end sets kStatusInvalidCode in `status`, so a truncated picture is never
// reported clean. Copying the struct saves a position; copying it back
// restores it.
#pragma once

#include <cstdint>
#include <cstring>

#include "filters/mpeg4/core/status.h"

namespace tlx::mpeg4 {

struct BitReader {
  uint64_t cache = 0;       // the next stream bits; below the loaded ones only zeros or the bits that follow
  uint32_t cached = 0;      // loaded bits in cache: 32-64 between calls
  uint32_t status = 0;      // kStatusInvalidCode once bits past the end are consumed
  uintptr_t next = 0;       // address of the first byte not loaded yet (past the end once the input is used up)
  uintptr_t wideStop = 0;   // first address no 8-byte load may start at (begin when the input is shorter)
  uintptr_t begin = 0;      // first byte of the input
  uintptr_t end = 0;        // first byte after the input
  uint64_t endBits = 0;     // 8 * end: the bit position of the end
};

// Attaches the reader to [start, end) and skips bitOffset bits.
void BitReaderInit(BitReader& reader, const uint8_t* start, uint32_t bitOffset, const uint8_t* end);

// The cache and next address after loading bytes one at a time from `next`
// until more than 56 bits are loaded, bytes at or past `end` as zeros.
// Everything goes by value, so a reader held in registers stays there.
struct BitCacheLoad {
  uint64_t cache;
  uintptr_t next;
};
BitCacheLoad BitLoadNearEnd(uint64_t cache, uint32_t cached, uintptr_t next, uintptr_t end);

// The next 32 stream bits, first bit in the most significant position.
inline uint32_t BitWindow(const BitReader& reader) { return static_cast<uint32_t>(reader.cache >> 32); }

// The current position in bits, counted from address 0.
inline uint64_t BitPositionBits(const BitReader& reader) {
  return 8 * static_cast<uint64_t>(reader.next) - reader.cached;
}

// Tops the cache up to at least 56 loaded bits.
inline void BitRefill(BitReader& reader) {
  if (reader.next >= reader.wideStop) {
    const BitCacheLoad load = BitLoadNearEnd(reader.cache, reader.cached, reader.next, reader.end);
    reader.cached += static_cast<uint32_t>(8 * (load.next - reader.next));
    reader.cache = load.cache;
    reader.next = load.next;
    return;
  }
  uint64_t word;
  std::memcpy(&word, reinterpret_cast<const void*>(reader.next), 8);
  // The whole bytes that fit are counted; the bits of a part byte below them
  // are the stream's own and are loaded again by the next refill.
  reader.cache |= __builtin_bswap64(word) >> reader.cached;
  reader.next += (63 - reader.cached) >> 3;
  reader.cached |= 56;
}

// Consumes n bits, 0 <= n <= 32, without marking an overrun: for loops that
// only move forwards and call BitMarkOverrun once when they end.
inline void BitSkipUnmarked(BitReader& reader, uint32_t n) {
  reader.cache <<= n;
  reader.cached -= n;
  if (reader.cached < 32) BitRefill(reader);
}

// Sets kStatusInvalidCode when the position is past the end.
inline void BitMarkOverrun(BitReader& reader) {
  if (BitPositionBits(reader) > reader.endBits) reader.status |= kStatusInvalidCode;
}

// Consumes n bits, 0 <= n <= 32.
inline void BitSkip(BitReader& reader, uint32_t n) {
  BitSkipUnmarked(reader, n);
  BitMarkOverrun(reader);
}

// Returns the next n bits (1 <= n <= 32) as an unsigned number and consumes them.
inline uint32_t BitRead(BitReader& reader, uint32_t n) {
  const uint32_t value = BitWindow(reader) >> (32 - n);
  BitSkip(reader, n);
  return value;
}

// True when the current position is at or past the end of the input.
inline bool BitAtEnd(const BitReader& reader) {
  return BitPositionBits(reader) >= reader.endBits;
}

// The bits from the current position to the next byte boundary (0-7).
inline uint32_t BitsToByteBoundary(const BitReader& reader) { return reader.cached & 7; }

// Skips to the next byte boundary (nothing when already aligned).
inline void BitByteAlign(BitReader& reader) { BitSkip(reader, BitsToByteBoundary(reader)); }

// The current byte and bit offset within it. At or past the end the byte is
// the end and the offset 0; the result is then -1 unless the position is
// exactly the end on a byte boundary. Otherwise 0.
int BitPosition(const BitReader& reader, const uint8_t** byte, uint32_t* bitOffset);

// Reads one marker bit; a 0 sets kStatusMarker in status.
inline void BitReadMarker(BitReader& reader, uint32_t& status) {
  if (BitRead(reader, 1) == 0) status |= kStatusMarker;
}

}  // namespace tlx::mpeg4

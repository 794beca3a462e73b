// Bounded big-endian bit reader of the decoder core.
//
// The reader keeps a 32-bit window of the next stream bits (first bit in the
// most significant position) and the aligned word that follows the window's
// start, so a read of up to 32 bits is a shift and an or. Parsers peek at
// `window` directly and then consume exactly the bits a code uses.
//
// Reading is bounded to [begin, end): aligned words that lie wholly inside
// are loaded at once, edge words are assembled byte by byte, and bytes
// outside the input read as zero without being touched. Consuming bits past
// the end sets kStatusInvalidCode in `status`, so a truncated picture is never
// reported clean. Copying the struct saves a position; copying it back
// restores it.
#pragma once

#include <cstdint>

#include "status.h"

namespace tlx::mpeg4 {

struct BitReader {
  uint32_t window = 0;        // the next 32 stream bits
  uint32_t nextWord = 0;      // big-endian value of the aligned word at nextAddress
  uintptr_t nextAddress = 0;  // address of that aligned word
  uint32_t bitsLeft = 0;      // low bits of nextWord not yet in the window (0-32)
  uintptr_t end = 0;          // first byte after the input
  uintptr_t begin = 0;        // first byte of the input
  uint64_t endBits = 0;       // 8 * end: the bit position of the end
  uint32_t status = 0;        // kStatusInvalidCode once bits past the end are consumed
};

// Attaches the reader to [start, end) and skips bitOffset bits.
void BitReaderInit(BitReader& reader, const uint8_t* start, uint32_t bitOffset, const uint8_t* end);

// Moves the window k bits (0-32) into the following aligned word.
void BitAdvance(BitReader& reader, uint32_t k);

// Consumes n bits, 0 <= n <= 32.
inline void BitSkip(BitReader& reader, uint32_t n) {
  if (n >= reader.bitsLeft) {
    BitAdvance(reader, n - reader.bitsLeft);
    return;
  }
  // The shift may be 32 (n = 0 with a full next word): done in 64 bits.
  reader.window = (reader.window << n) | static_cast<uint32_t>(uint64_t{reader.nextWord} >> (reader.bitsLeft - n));
  reader.bitsLeft -= n;
  if (8 * static_cast<uint64_t>(reader.nextAddress) - reader.bitsLeft > reader.endBits) {
    reader.status |= kStatusInvalidCode;
  }
}

// Returns the next n bits (1 <= n <= 32) as an unsigned number and consumes them.
inline uint32_t BitRead(BitReader& reader, uint32_t n) {
  const uint32_t value = static_cast<uint32_t>(reader.window >> (32 - n));
  BitSkip(reader, n);
  return value;
}

// The current position in bits, counted from address 0.
inline uint64_t BitPositionBits(const BitReader& reader) {
  return 8 * static_cast<uint64_t>(reader.nextAddress) - reader.bitsLeft;
}

// True when the current position is at or past the end of the input.
inline bool BitAtEnd(const BitReader& reader) {
  return BitPositionBits(reader) >= reader.endBits;
}

// Skips to the next byte boundary (nothing when already aligned).
inline void BitByteAlign(BitReader& reader) { BitSkip(reader, reader.bitsLeft & 7); }

// The current byte and bit offset within it. At or past the end the byte is
// the end and the offset 0; the result is then -1 unless the position is
// exactly the end on a byte boundary. Otherwise 0.
int BitPosition(const BitReader& reader, const uint8_t** byte, uint32_t* bitOffset);

// Reads one marker bit; a 0 sets kStatusMarker in status.
inline void BitReadMarker(BitReader& reader, uint32_t& status) {
  if (BitRead(reader, 1) == 0) status |= kStatusMarker;
}

}  // namespace tlx::mpeg4

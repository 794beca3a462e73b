#include "bit_reader.h"

#include <cstring>

namespace tlx::mpeg4 {
namespace {

// The big-endian word at the aligned address `address`, with every byte
// outside [begin, end) read as zero and never touched.
uint32_t LoadWord(const BitReader& reader, uintptr_t address) {
  if (address >= reader.begin && address < reader.end && reader.end - address >= 4) {
    uint8_t bytes[4];
    std::memcpy(bytes, reinterpret_cast<const void*>(address), 4);
    return (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) | bytes[3];
  }
  uint32_t word = 0;
  for (uintptr_t i = 0; i < 4; ++i) {
    const uintptr_t at = address + i;
    const uint32_t byte = (at >= reader.begin && at < reader.end) ? *reinterpret_cast<const uint8_t*>(at) : 0;
    word |= byte << (24 - 8 * i);
  }
  return word;
}

}  // namespace

void BitReaderInit(BitReader& reader, const uint8_t* start, uint32_t bitOffset, const uint8_t* end) {
  const uintptr_t startAddress = reinterpret_cast<uintptr_t>(start);
  reader.begin = startAddress;
  reader.end = reinterpret_cast<uintptr_t>(end);
  reader.endBits = 8 * static_cast<uint64_t>(reader.end);
  reader.status = 0;
  reader.nextAddress = startAddress & ~uintptr_t{3};
  reader.window = LoadWord(reader, reader.nextAddress);
  reader.nextAddress += 4;
  reader.nextWord = LoadWord(reader, reader.nextAddress);
  reader.bitsLeft = 32;
  uint64_t skip = bitOffset + (startAddress & 3) * 8;
  while (skip > 32) {
    BitSkip(reader, 32);
    skip -= 32;
  }
  BitSkip(reader, static_cast<uint32_t>(skip));
}

void BitAdvance(BitReader& reader, uint32_t k) {
  reader.window = static_cast<uint32_t>(uint64_t{reader.nextWord} << k);
  reader.nextAddress += 4;
  reader.nextWord = LoadWord(reader, reader.nextAddress);
  reader.bitsLeft = 32 - k;
  if (k > 0) reader.window |= static_cast<uint32_t>(uint64_t{reader.nextWord} >> reader.bitsLeft);
  if (BitPositionBits(reader) > reader.endBits) reader.status |= kStatusInvalidCode;
}

int BitPosition(const BitReader& reader, const uint8_t** byte, uint32_t* bitOffset) {
  const uint64_t position = BitPositionBits(reader);
  const uint64_t endBits = reader.endBits;
  if (position >= endBits) {
    *byte = reinterpret_cast<const uint8_t*>(reader.end);
    *bitOffset = 0;
    return position == endBits ? 0 : -1;
  }
  *byte = reinterpret_cast<const uint8_t*>(reader.nextAddress - ((reader.bitsLeft + 7) >> 3));
  *bitOffset = (0u - reader.bitsLeft) & 7;
  return 0;
}

}  // namespace tlx::mpeg4

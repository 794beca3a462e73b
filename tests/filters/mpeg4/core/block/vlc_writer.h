// Test helpers of the block layer: a reader over written bits and the
// decoded coefficient list as events.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "filters/mpeg4/core/bit_reader.h"
#include "filters/mpeg4/core/block/block_decoder_state.h"
#include "filters/mpeg4/support/block_encoder.h"

namespace tlx::mpeg4::test {

// A reader over the written bytes followed by `padding` zero bytes; consumed
// bits are counted from the first byte.
struct TestStream {
  std::vector<uint8_t> bytes;
  BitReader reader;
  explicit TestStream(const BitWriter& writer, size_t padding = 8) : bytes(writer.bytes()) {
    bytes.resize(bytes.size() + padding, 0);
    BitReaderInit(reader, bytes.data(), 0, bytes.data() + bytes.size());
  }
  uint64_t consumed() const { return BitPositionBits(reader) - 8 * reinterpret_cast<uintptr_t>(bytes.data()); }
};

// The coefficient list of a decoded block as events (positions read as scan
// indices, so decode with kRasterScan).
inline std::vector<Event> DecodedEvents(const BlockDecoderState& s) {
  std::vector<Event> events;
  int previous = -1;
  for (uint32_t i = 0; i < s.count; ++i) {
    const int pos = static_cast<int>(s.position[i]);
    events.push_back({i + 1 == s.count ? 1u : 0u, static_cast<uint32_t>(pos - previous - 1), SignedLevel(s.level[i])});
    previous = pos;
  }
  return events;
}

// The shape-word bit of raster position pos, written out from its
// definition: per row, column 0, columns 1-3, columns 4-7; rows 0-2 in bits
// 0-8, rows 3-7 from bit 16.
inline uint32_t ShapeBit(int pos) {
  const int r = pos / 8, k = pos % 8;
  const int g = k == 0 ? 0 : (k < 4 ? 1 : 2);
  return r < 3 ? 1u << (3 * r + g) : 1u << (16 + 3 * (r - 3) + g);
}

inline constexpr std::array<uint8_t, 64> kRasterScan = [] {
  std::array<uint8_t, 64> scan{};
  for (int i = 0; i < 64; ++i) scan[i] = static_cast<uint8_t>(i);
  return scan;
}();

}  // namespace tlx::mpeg4::test

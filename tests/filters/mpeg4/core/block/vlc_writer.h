// Test-side bit writer and block-syntax encoder. The encoder is built by
// inverting the decoder's code lists, so a round trip checks the lookups,
// escape handling and bit consumption of the decoder against the lists
// themselves.
#pragma once

#include <array>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "bit_reader.h"
#include "block/block_decoder_state.h"
#include "block/coefficient_tables.h"

namespace tlx::mpeg4::test {

class BitWriter {
 public:
  void Put(uint32_t value, uint32_t bits) {
    for (uint32_t i = bits; i-- > 0;) PutBit((value >> i) & 1);
  }
  // "0000 011 1" style: 0s and 1s, anything else ignored.
  void Put(const std::string& text) {
    for (char c : text)
      if (c == '0' || c == '1') PutBit(c == '1');
  }
  void PutBit(uint32_t bit) {
    if (bits_ % 8 == 0) bytes_.push_back(0);
    if (bit) bytes_.back() |= static_cast<uint8_t>(0x80 >> (bits_ % 8));
    ++bits_;
  }
  uint64_t bits() const { return bits_; }
  // The written bytes followed by `padding` zero bytes.
  std::vector<uint8_t> Bytes(size_t padding = 8) const {
    std::vector<uint8_t> out = bytes_;
    out.resize(out.size() + padding, 0);
    return out;
  }

 private:
  std::vector<uint8_t> bytes_;
  uint64_t bits_ = 0;
};

// A reader over bytes; consumed bits are counted from the first byte.
struct TestStream {
  std::vector<uint8_t> bytes;
  BitReader reader;
  explicit TestStream(const BitWriter& writer, size_t padding = 8) : bytes(writer.Bytes(padding)) {
    BitReaderInit(reader, bytes.data(), 0, bytes.data() + bytes.size());
  }
  uint64_t consumed() const { return BitPositionBits(reader) - 8 * reinterpret_cast<uintptr_t>(bytes.data()); }
};

struct Event {
  uint32_t last;
  uint32_t run;
  int32_t level;  // signed, never 0
  bool operator==(const Event&) const = default;
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

enum class Syntax { Tcoef, ShortHeader, Reversible };

class BlockEncoder {
 public:
  BlockEncoder(Syntax syntax, bool intra) : syntax_(syntax), intra_(intra) {
    if (syntax == Syntax::Reversible) {
      for (const CoefficientCode& c : intra ? kIntraRvlc : kInterRvlc) codes_[Key(c)] = c;
    } else {
      for (const CoefficientCode& c : intra ? kIntraTcoef : kInterTcoef) codes_[Key(c)] = c;
    }
  }

  // Writes one event in the form an encoder chooses: the table code, else
  // (run/level syntax) the level-offset escape, the run-offset escape, and
  // the fixed-length escape. Returns the escape form used (0 none, 1-3).
  int Put(BitWriter& w, const Event& e) const {
    const uint32_t magnitude = static_cast<uint32_t>(std::abs(e.level));
    const uint32_t sign = e.level < 0;
    if (const CoefficientCode* c = Find(e.last, e.run, magnitude)) {
      PutCode(w, *c, sign);
      return 0;
    }
    if (syntax_ == Syntax::Reversible) {
      w.Put("00001");
      w.Put(e.last, 1);
      w.Put(e.run, 6);
      w.Put(1, 1);
      w.Put(magnitude, 11);
      w.Put(1, 1);
      w.Put("0000");
      w.Put(sign, 1);
      return 3;
    }
    w.Put(kTcoefEscape.code, kTcoefEscape.length);
    if (syntax_ == Syntax::ShortHeader) {
      w.Put(e.last, 1);
      w.Put(e.run, 6);
      w.Put(static_cast<uint32_t>(e.level) & 0xFF, 8);
      return 3;
    }
    const EscapeLimits& limits = intra_ ? kIntraLimits : kInterLimits;
    const uint32_t maxLevel = limits.maxLevel[e.last][e.run];
    if (magnitude > maxLevel) {
      if (const CoefficientCode* c = Find(e.last, e.run, magnitude - maxLevel)) {
        w.Put("0");
        PutCode(w, *c, sign);
        return 1;
      }
    }
    if (magnitude < 64) {
      const int32_t shorter = static_cast<int32_t>(e.run) - limits.maxRun[e.last][magnitude] - 1;
      if (shorter >= 0) {
        if (const CoefficientCode* c = Find(e.last, static_cast<uint32_t>(shorter), magnitude)) {
          w.Put("10");
          PutCode(w, *c, sign);
          return 2;
        }
      }
    }
    w.Put("11");
    w.Put(e.last, 1);
    w.Put(e.run, 6);
    w.Put(1, 1);
    w.Put(static_cast<uint32_t>(e.level) & 0xFFF, 12);
    w.Put(1, 1);
    return 3;
  }

  const CoefficientCode* Find(uint32_t last, uint32_t run, uint32_t level) const {
    auto it = codes_.find({last, run, level});
    return it == codes_.end() ? nullptr : &it->second;
  }

 private:
  using KeyT = std::tuple<uint32_t, uint32_t, uint32_t>;
  static KeyT Key(const CoefficientCode& c) { return {c.last, c.run, c.level}; }
  static void PutCode(BitWriter& w, const CoefficientCode& c, uint32_t sign) {
    w.Put(c.code, c.length);
    w.Put(sign, 1);
  }

  Syntax syntax_;
  bool intra_;
  std::map<KeyT, CoefficientCode> codes_;
};

// DC size and differential, with the marker after sizes above 8.
inline void PutIntraDc(BitWriter& w, bool luma, int32_t differential) {
  uint32_t size = 0;
  for (uint32_t m = static_cast<uint32_t>(std::abs(differential)); m; m >>= 1) ++size;
  const ValueCode& code = (luma ? kDcSizeLuma : kDcSizeChroma)[size];
  w.Put(code.code, code.length);
  if (size == 0) return;
  const int32_t v = differential > 0 ? differential : differential + (1 << size) - 1;
  w.Put(static_cast<uint32_t>(v), size);
  if (size > 8) w.Put(1, 1);
}

}  // namespace tlx::mpeg4::test

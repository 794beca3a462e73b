// Block-level codes for hand-made streams: coefficient events and the
// intra DC, written through the decoder's own code lists inverted, so a
// round trip checks the decoder's lookups, escape handling and bit
// consumption against the lists themselves.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <tuple>

#include "filters/mpeg4/core/block/coefficient_tables.h"
#include "filters/mpeg4/support/bit_writer.h"

namespace tlx::mpeg4::test {

struct Event {
  uint32_t last;
  uint32_t run;
  int32_t level;  // signed, never 0
  bool operator==(const Event&) const = default;
};

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

// The code of `value` in a table of value codes (MCBPC, CBPY).
template <size_t N>
void PutValueCode(BitWriter& w, const std::array<ValueCode, N>& table, uint32_t value) {
  for (const ValueCode& c : table) {
    if (c.value == value) {
      w.Put(c.code, c.length);
      return;
    }
  }
  ADD_FAILURE() << "no code for value " << value;
}

// MCBPC of an intra macroblock in an I-VOP: chroma pattern (U 2, V 1) and
// whether a quantiser change follows.
inline void PutIntraMcbpc(BitWriter& w, uint32_t chromaPattern, bool quantiserChange) {
  PutValueCode(w, kIntraMcbpc, (quantiserChange ? 0x30u : 0x10u) | chromaPattern);
}

// MCBPC of a macroblock in a P-VOP: its type flags (0x1 inter, 0x2 four
// vectors, 0x4 intra, 0x8 with a quantiser change) and chroma pattern.
inline void PutInterMcbpc(BitWriter& w, uint32_t flags, uint32_t chromaPattern) {
  PutValueCode(w, kInterMcbpc, (flags << 2) | chromaPattern);
}

// CBPY of the four luma blocks (8 block 0 .. 1 block 3) as an intra
// macroblock codes it; inter macroblocks code the pattern inverted.
inline void PutCbpy(BitWriter& w, uint32_t lumaPattern, bool intra) {
  PutValueCode(w, kCbpy, intra ? lumaPattern : lumaPattern ^ 15u);
}

}  // namespace tlx::mpeg4::test

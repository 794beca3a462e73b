#include "filters/mpeg4/core/block/coefficient_decoder.h"

#include <array>
#include <cstdlib>

#include "filters/mpeg4/core/block/block_decoding.h"
#include "filters/mpeg4/core/block/coefficient_tables.h"

namespace tlx::mpeg4 {
namespace {

constexpr int kTcoefBits = 12;
constexpr int kRvlcBits = 15;

constexpr auto kInterTcoefLookup = BuildCodeLookup<kTcoefBits>(kInterTcoef);
constexpr auto kIntraTcoefLookup = BuildCodeLookup<kTcoefBits>(kIntraTcoef);
constexpr auto kInterRvlcLookup = BuildCodeLookup<kRvlcBits>(kInterRvlc);
constexpr auto kIntraRvlcLookup = BuildCodeLookup<kRvlcBits>(kIntraRvlc);
constexpr auto kDcSizeLumaLookup = BuildCodeLookup<11>(kDcSizeLuma);
constexpr auto kDcSizeChromaLookup = BuildCodeLookup<12>(kDcSizeChroma);

// The listed TCOEF codes with their sign bit by the first 12 bits of the
// window, each entry the whole event in 16 bits: bits to consume (code and
// sign) in bits 0-3, last in bit 4, run in bits 5-10, magnitude x 2 + sign in
// bits 11-15. Codes whose sign falls outside the 12 bits or whose magnitude
// is above 15 are left out: 0 marks them, the escape and words no code
// starts, which take the general path.
using PackedTcoefLookup = std::array<uint16_t, 1u << kTcoefBits>;

constexpr bool PackedCode(const CoefficientCode& c) { return c.length + 1 <= kTcoefBits && c.level <= 15; }

constexpr PackedTcoefLookup BuildPackedTcoefLookup(const std::array<CoefficientCode, kTcoefCount>& codes) {
  PackedTcoefLookup lookup{};
  for (const CoefficientCode& c : codes) {
    if (!PackedCode(c)) continue;
    const int spare = kTcoefBits - c.length - 1;
    for (uint32_t sign = 0; sign < 2; ++sign) {
      const uint32_t first = ((static_cast<uint32_t>(c.code) << 1) | sign) << spare;
      const uint32_t entry = (c.length + 1u) | (uint32_t{c.last} << 4) | (uint32_t{c.run} << 5) |
                             (((uint32_t{c.level} << 1) | sign) << 11);
      for (uint32_t k = 0; k < (1u << spare); ++k) lookup[first + k] = static_cast<uint16_t>(entry);
    }
  }
  return lookup;
}

constexpr PackedTcoefLookup kInterPackedTcoef = BuildPackedTcoefLookup(kInterTcoef);
constexpr PackedTcoefLookup kIntraPackedTcoef = BuildPackedTcoefLookup(kIntraTcoef);

// Every run fits its place in the entry.
constexpr bool PackedFieldsFit(const std::array<CoefficientCode, kTcoefCount>& codes) {
  for (const CoefficientCode& c : codes) {
    if (c.run > 63 || c.last > 1) return false;
  }
  return true;
}
static_assert(PackedFieldsFit(kInterTcoef) && PackedFieldsFit(kIntraTcoef));

// One decoded event, or the status bit of the code that failed.
struct Event {
  uint32_t last = 0;
  uint32_t run = 0;
  uint32_t magnitude = 0;
  uint32_t sign = 0;
  uint32_t bits = 0;   // to consume: prefix, code and sign
  uint32_t error = 0;
};

Event Failed(uint32_t error) {
  Event e;
  e.error = error;
  return e;
}

bool IsEscape(uint32_t window) { return (window >> (32 - kTcoefEscape.length)) == kTcoefEscape.code; }

// The table code after `prefix` bits of the window; its sign bit follows it.
Event TcoefCode(uint32_t window, uint32_t prefix, bool intra) {
  const uint32_t bits = (window << prefix) >> (32 - kTcoefBits);
  const uint8_t i = (intra ? kIntraTcoefLookup : kInterTcoefLookup).index[bits];
  if (i == kNoCode) return Failed(kStatusNotInTable);
  const CoefficientCode& c = (intra ? kIntraTcoef : kInterTcoef)[i];
  const uint32_t length = prefix + c.length;
  Event e;
  e.last = c.last;
  e.run = c.run;
  e.magnitude = c.level;
  e.sign = (window >> (31 - length)) & 1;
  e.bits = length + 1;
  return e;
}

Event SignedEvent(uint32_t last, uint32_t run, int32_t level, uint32_t bits) {
  Event e;
  e.last = last;
  e.run = run;
  e.magnitude = static_cast<uint32_t>(std::abs(level));
  e.sign = level < 0;
  e.bits = bits;
  return e;
}

// Escape forms: 0000011 then 0x (level offset), 10 (run offset) or 11 and a
// fixed-length event: last, run (6), marker, level (12), marker.
Event TcoefEvent(uint32_t window, bool intra) {
  if (!IsEscape(window)) return TcoefCode(window, 0, intra);
  const EscapeLimits& limits = intra ? kIntraLimits : kInterLimits;
  const uint32_t form = (window >> 23) & 3;
  if (form < 2) {
    Event e = TcoefCode(window, 8, intra);
    if (!e.error) e.magnitude += limits.maxLevel[e.last][e.run];
    return e;
  }
  if (form == 2) {
    Event e = TcoefCode(window, 9, intra);
    if (!e.error) e.run += limits.maxRun[e.last][e.magnitude] + 1;
    return e;
  }
  if (((window >> 15) & 1) == 0 || ((window >> 2) & 1) == 0) return Failed(kStatusMarker);
  const int32_t level = static_cast<int32_t>((window >> 3) & 0xFFF) - (((window >> 3) & 0x800) << 1);
  return SignedEvent((window >> 22) & 1, (window >> 16) & 63, level, 30);
}

// Short-header escape: 0000011, last, run (6), level (8, two's complement).
Event ShortHeaderEvent(uint32_t window, bool intra) {
  if (!IsEscape(window)) return TcoefCode(window, 0, intra);
  const int32_t level = static_cast<int8_t>(static_cast<uint8_t>(window >> 10));
  return SignedEvent((window >> 24) & 1, (window >> 18) & 63, level, 22);
}

// Reversible escape: 0000 1, last, run (6), marker, magnitude (11), marker,
// 0000, sign.
bool IsReversibleEscape(uint32_t window) { return (window >> 28) == 0; }
bool ReversibleEscapeIntact(uint32_t window) {
  return ((window >> 27) & 1) && ((window >> 19) & 1) && ((window >> 7) & 1);
}

Event ReversibleEvent(uint32_t window, bool intra) {
  if (IsReversibleEscape(window)) {
    if (!ReversibleEscapeIntact(window)) return Failed(kStatusMarker);
    Event e;
    e.last = (window >> 26) & 1;
    e.run = (window >> 20) & 63;
    e.magnitude = (window >> 8) & 0x7FF;
    e.sign = (window >> 2) & 1;
    e.bits = 30;
    return e;
  }
  const uint8_t i = (intra ? kIntraRvlcLookup : kInterRvlcLookup).index[window >> (32 - kRvlcBits)];
  if (i == kNoCode) return Failed(kStatusNotInTable);
  const CoefficientCode& c = (intra ? kIntraRvlc : kInterRvlc)[i];
  Event e;
  e.last = c.last;
  e.run = c.run;
  e.magnitude = c.level;
  e.sign = (window >> (31 - c.length)) & 1;
  e.bits = c.length + 1;
  return e;
}

// Where the event loop puts each event (level as magnitude x 2 + sign, raster
// position). The list sink fills the state's coefficient list; the block
// sink writes the inverse-quantised value straight into a block and gathers
// its shape word.
struct ListSink {
  uint32_t* levels;
  uint32_t* positions;
  uint32_t n = 0;
  void Put(uint32_t level, uint32_t position) {
    levels[n] = level;
    positions[n] = position;
    ++n;
  }
};

struct BlockSink {
  int16_t* block;
  int32_t quantiser;
  int32_t evenCorrection;
  // Levels below this need no clamp: 64 (magnitudes up to 31) for the
  // quantisers the syntax gives, 0..31, as 31 x 63 < 2048; 0 for any other.
  uint32_t unclamped;
  uint32_t shape = 0;
  BlockSink(int16_t* b, int32_t q)
      : block(b), quantiser(q), evenCorrection((q & 1) ? 0 : 1), unclamped(q >= 0 && q <= 31 ? 64 : 0) {}
  void Put(uint32_t level, uint32_t position) {
    int32_t value;
    if (level < unclamped) {
      const int32_t r = quantiser * static_cast<int32_t>(level | 1) - evenCorrection;
      value = (level & 1) ? -r : r;
    } else {
      value = DequantisedLevel(level, quantiser, evenCorrection);
    }
    block[position] = static_cast<int16_t>(value);
    shape |= kShapeBit[position];
  }
};

// The reader is worked on as a local copy, written back when the block ends,
// so the stores of the events do not make the compiler reload it. The
// position only grows, so an overrun is marked once at the end. `packed`
// (null for the reversible codes) decodes the listed codes in one lookup;
// the escape and unlisted words go through kRead. Returns true when the last
// event is in, false on error (its status bit set in the state). Inlined
// into each caller, so every reader and sink gets its own loop.
template <Event (*kRead)(uint32_t, bool), typename Sink>
[[gnu::always_inline]] inline bool EventLoop(BlockDecoderState& state, BitReader& reader, bool intra,
                                             uint32_t start, const uint8_t* scan,
                                             const PackedTcoefLookup* packed, Sink& sink) {
  BitReader r = reader;
  int32_t index = static_cast<int32_t>(start) - 1;
  uint32_t error = 0;
  for (;;) {
    const uint32_t window = BitWindow(r);
    const uint32_t entry = packed ? (*packed)[window >> (32 - kTcoefBits)] : 0;
    uint32_t last;
    uint32_t bits;
    uint32_t level;
    if (entry != 0) {
      bits = entry & 15;
      last = entry & 16;
      index += static_cast<int32_t>((entry >> 5) & 63) + 1;
      level = entry >> 11;
    } else {
      const Event e = kRead(window, intra);
      if (e.error) {
        error = e.error;
        break;
      }
      bits = e.bits;
      last = e.last;
      index += static_cast<int32_t>(e.run) + 1;
      level = e.magnitude * 2 + e.sign;
    }
    if (index >= 64) {
      error = kStatusIndexOverflow;
      break;
    }
    BitSkipUnmarked(r, bits);
    sink.Put(level, scan[index]);
    if (last) break;
  }
  BitMarkOverrun(r);
  reader = r;
  state.status |= error;
  return error == 0;
}

// The loop into the state's coefficient list; the count is stored when the
// last event is in.
template <Event (*kRead)(uint32_t, bool)>
void ListEvents(BlockDecoderState& state, BitReader& reader, bool intra, uint32_t start, const uint8_t* scan,
                const PackedTcoefLookup* packed) {
  ListSink sink{state.level, state.position};
  if (EventLoop<kRead>(state, reader, intra, start, scan, packed, sink)) state.count = sink.n;
}

// The inter loop inverse quantised into `block`.
template <Event (*kRead)(uint32_t, bool)>
uint32_t DequantiseEvents(BlockDecoderState& state, BitReader& reader, const uint8_t* scan, int16_t* block) {
  BlockSink sink(block, state.quantiser);
  return EventLoop<kRead>(state, reader, false, 0, scan, &kInterPackedTcoef, sink) ? sink.shape : 0;
}

// The first event of an intra block as its DC: consumed only when its run is
// 0. Returns the value FirstIntraCoefficient functions return.
uint32_t TakeFirstEvent(BlockDecoderState& state, BitReader& reader, const Event& e) {
  if (e.error) {
    state.status |= e.error;
    return 1;
  }
  if (e.run > 0) return 0;
  state.dc = e.sign ? -static_cast<int32_t>(e.magnitude) : static_cast<int32_t>(e.magnitude);
  BitSkip(reader, e.bits);
  return e.last;
}

uint32_t DecodeDcSize(BlockDecoderState& state, BitReader& reader, const CodeLookup<11>* luma,
                      const CodeLookup<12>* chroma) {
  const uint8_t i = luma ? luma->index[BitWindow(reader) >> 21] : chroma->index[BitWindow(reader) >> 20];
  if (i == kNoCode) {
    state.status |= kStatusInvalidCode;
    return 0;
  }
  const ValueCode& c = luma ? kDcSizeLuma[i] : kDcSizeChroma[i];
  BitSkip(reader, c.length);
  return c.value;
}

}  // namespace

uint32_t DecodeDcSizeLuma(BlockDecoderState& state, BitReader& reader) {
  return DecodeDcSize(state, reader, &kDcSizeLumaLookup, nullptr);
}

uint32_t DecodeDcSizeChroma(BlockDecoderState& state, BitReader& reader) {
  return DecodeDcSize(state, reader, nullptr, &kDcSizeChromaLookup);
}

int32_t ReadDcDifferential(BitReader& reader, uint32_t size) {
  if (size == 0) return 0;
  const uint32_t v = BitRead(reader, size);
  if (v >> (size - 1)) return static_cast<int32_t>(v);
  return static_cast<int32_t>(v) - static_cast<int32_t>((1u << size) - 1);
}

void DecodeIntraDc(BlockDecoderState& state, BitReader& reader, uint32_t block) {
  const BitReader start = reader;
  const uint32_t size = block < 4 ? DecodeDcSizeLuma(state, reader) : DecodeDcSizeChroma(state, reader);
  if (size == 0) {
    if (state.status == 0) state.dc = 0;
    return;
  }
  // The marker after a long differential is checked before anything is
  // consumed, so a damaged DC leaves the stream where it was.
  if (size > 8 && ((BitWindow(reader) >> (31 - size)) & 1) == 0) {
    reader = start;
    state.status |= kStatusMarker;
    return;
  }
  state.dc = ReadDcDifferential(reader, size);
  if (size > 8) BitSkip(reader, 1);
}

void DecodeShortHeaderIntraDc(BlockDecoderState& state, BitReader& reader) {
  state.count = 0;
  const uint32_t v = BitRead(reader, 8);
  state.dc = v == 255 ? 1024 : static_cast<int32_t>(8 * v);
}

void DecodeCoefficients(BlockDecoderState& state, BitReader& reader, bool intra, uint32_t start,
                        const uint8_t* scan) {
  ListEvents<TcoefEvent>(state, reader, intra, start, scan, intra ? &kIntraPackedTcoef : &kInterPackedTcoef);
}

void DecodeShortHeaderCoefficients(BlockDecoderState& state, BitReader& reader, bool intra, uint32_t start,
                                   const uint8_t* scan) {
  ListEvents<ShortHeaderEvent>(state, reader, intra, start, scan,
                               intra ? &kIntraPackedTcoef : &kInterPackedTcoef);
}

void DecodeReversibleCoefficients(BlockDecoderState& state, BitReader& reader, bool intra, uint32_t start,
                                  const uint8_t* scan) {
  ListEvents<ReversibleEvent>(state, reader, intra, start, scan, nullptr);
}

uint32_t DecodeInterCoefficientsDequantised(BlockDecoderState& state, BitReader& reader, const uint8_t* scan,
                                            int16_t* block) {
  return DequantiseEvents<TcoefEvent>(state, reader, scan, block);
}

uint32_t DecodeShortHeaderInterCoefficientsDequantised(BlockDecoderState& state, BitReader& reader,
                                                       const uint8_t* scan, int16_t* block) {
  return DequantiseEvents<ShortHeaderEvent>(state, reader, scan, block);
}

void DecodeBlockCoefficients(BlockDecoderState& state, BitReader& reader, bool intra, uint32_t start,
                             const uint8_t* scan) {
  if (state.reversibleVlc)
    DecodeReversibleCoefficients(state, reader, intra, start, scan);
  else
    DecodeCoefficients(state, reader, intra, start, scan);
}

uint32_t DecodeFirstIntraCoefficient(BlockDecoderState& state, BitReader& reader) {
  state.count = 0;
  state.dc = 0;
  const uint32_t w = BitWindow(reader);
  // A second-form escape always has a run above 0.
  if (IsEscape(w) && ((w >> 23) & 3) == 2) return 0;
  return TakeFirstEvent(state, reader, TcoefEvent(w, true));
}

uint32_t DecodeFirstIntraCoefficientReversible(BlockDecoderState& state, BitReader& reader) {
  state.count = 0;
  state.dc = 0;
  return TakeFirstEvent(state, reader, ReversibleEvent(BitWindow(reader), true));
}

uint32_t DecodeIntraDcAsCoefficient(BlockDecoderState& state, BitReader& reader) {
  return state.reversibleVlc ? DecodeFirstIntraCoefficientReversible(state, reader)
                             : DecodeFirstIntraCoefficient(state, reader);
}

}  // namespace tlx::mpeg4

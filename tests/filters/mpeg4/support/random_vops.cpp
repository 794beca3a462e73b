#include "filters/mpeg4/support/random_vops.h"

#include <algorithm>

#include "filters/mpeg4/core/start_codes.h"

namespace tlx::mpeg4::test {
namespace {

// The events a block codes when its DC is the first coefficient: the DC at
// scan index 0 when not zero, then the AC events (the first one's run
// counted from index 0 when the DC is absent).
std::vector<Event> EventsWithDc(const IntraMacroblock& mb, int b) {
  std::vector<Event> events;
  if (mb.dc[b] != 0) events.push_back({mb.ac[b].empty() ? 1u : 0u, 0, mb.dc[b]});
  for (const Event& e : mb.ac[b]) events.push_back(e);
  if (mb.dc[b] == 0 && !events.empty()) ++events.front().run;
  return events;
}

}  // namespace

// Random events of one block from scan index `start`, the last one marked;
// none for about a third of the blocks.
std::vector<Event> RandomEvents(std::mt19937& random, uint32_t start) {
  std::vector<Event> events;
  if (random() % 3 == 0) return events;
  const int count = 1 + int(random() % 4);
  uint32_t position = start;
  for (int k = 0; k < count; ++k) {
    const uint32_t run = random() % 5;
    if (position + run > 63) break;
    const int32_t magnitude = 1 + int32_t(random() % (k == 0 ? 30 : 5));  // some through the escape
    events.push_back({0, run, random() % 2 == 0 ? magnitude : -magnitude});
    position += run + 1;
  }
  events.back().last = 1;
  return events;
}

std::vector<IntraMacroblock> RandomIntraMacroblocks(std::mt19937& random, uint32_t count) {
  static constexpr int32_t kSteps[4] = {-1, -2, 1, 2};
  std::vector<IntraMacroblock> macroblocks(count);
  int32_t quantiser = 6;
  for (IntraMacroblock& mb : macroblocks) {
    mb.acPred = random() % 2;
    const int32_t step = int32_t(random() % 4);
    if (random() % 3 == 0 && quantiser + kSteps[step] >= 4 && quantiser + kSteps[step] <= 10) {
      mb.dquant = step;
      quantiser += kSteps[step];
    }
    for (int b = 0; b < 6; ++b) {
      // Small steps keep every reconstructed DC far from 0 and from the
      // top of its range, which libavcodec checks.
      mb.dc[b] = int32_t(random() % 3) - 1;
      mb.ac[b] = RandomEvents(random, 1);
    }
  }
  return macroblocks;
}

// One data-partitioned I-VOP of the given macroblocks in one packet: types,
// quantiser changes and (with the DC by its own code, threshold 0) the DC
// parts, the DC marker, AC prediction flags and luma patterns, then the
// reversible texture. With threshold 7 the DC is the first coefficient.
void WritePartitionedIntraVop(BitWriter& w, const VolFields& vol, uint32_t intraDcVlcThr, uint32_t timeIncrement,
                              const std::vector<IntraMacroblock>& macroblocks) {
  VopFields vop;
  vop.codingType = 0;
  vop.intraDcVlcThr = intraDcVlcThr;
  vop.timeIncrement = timeIncrement;
  vop.quant = 6;
  WriteVopHeader(w, vol, vop);
  const bool dcByItsOwnCode = intraDcVlcThr == 0;
  std::vector<std::vector<Event>> blocks;
  std::vector<uint32_t> patterns;
  for (const IntraMacroblock& mb : macroblocks) {
    uint32_t pattern = 0;
    for (int b = 0; b < 6; ++b) {
      blocks.push_back(dcByItsOwnCode ? mb.ac[b] : EventsWithDc(mb, b));
      pattern = (pattern << 1) | (blocks.back().empty() ? 0u : 1u);
    }
    patterns.push_back(pattern);
  }
  for (size_t m = 0; m < macroblocks.size(); ++m) {
    const IntraMacroblock& mb = macroblocks[m];
    PutIntraMcbpc(w, patterns[m] & 3, mb.dquant >= 0);
    if (mb.dquant >= 0) w.Put(uint32_t(mb.dquant), 2);
    for (int b = 0; b < 6 && dcByItsOwnCode; ++b) PutIntraDc(w, b < 4, mb.dc[b]);
  }
  w.Put(kDcMarker, int(kDcMarkerLength));
  for (size_t m = 0; m < macroblocks.size(); ++m) {
    w.Put(macroblocks[m].acPred, 1);
    PutCbpy(w, patterns[m] >> 2, true);
  }
  const BlockEncoder encoder(Syntax::Reversible, true);
  for (const std::vector<Event>& block : blocks) {
    for (const Event& e : block) encoder.Put(w, e);
  }
  w.Stuff();
}

// An I-VOP of the given macroblocks in the combined syntax, starting at
// quantiser `quant`: each macroblock codes its DC by its own code while the
// quantiser before its change (its own for the first) is below the
// threshold of `intraDcVlcThr`, else as the first coefficient.
void WriteIntraVop(BitWriter& w, const VolFields& vol, uint32_t intraDcVlcThr, uint32_t timeIncrement, uint32_t quant,
                   const std::vector<IntraMacroblock>& macroblocks) {
  static constexpr int32_t kSteps[4] = {-1, -2, 1, 2};
  static constexpr uint32_t kThresholds[8] = {32, 13, 15, 17, 19, 21, 23, 0};
  VopFields vop;
  vop.codingType = 0;
  vop.intraDcVlcThr = intraDcVlcThr;
  vop.timeIncrement = timeIncrement;
  vop.quant = quant;
  WriteVopHeader(w, vol, vop);
  const BlockEncoder encoder(Syntax::Tcoef, true);
  uint32_t running = 0;
  uint32_t quantiser = quant;
  for (const IntraMacroblock& mb : macroblocks) {
    if (mb.dquant >= 0) quantiser = uint32_t(int32_t(quantiser) + kSteps[mb.dquant]);
    if (running == 0) running = quantiser;
    const bool dcByItsOwnCode = running < kThresholds[intraDcVlcThr];
    running = quantiser;
    std::vector<Event> blocks[6];
    uint32_t pattern = 0;
    for (int b = 0; b < 6; ++b) {
      blocks[b] = dcByItsOwnCode ? mb.ac[b] : EventsWithDc(mb, b);
      pattern = (pattern << 1) | (blocks[b].empty() ? 0u : 1u);
    }
    PutIntraMcbpc(w, pattern & 3, mb.dquant >= 0);
    w.Put(mb.acPred, 1);
    PutCbpy(w, pattern >> 2, true);
    if (mb.dquant >= 0) w.Put(uint32_t(mb.dquant), 2);
    for (int b = 0; b < 6; ++b) {
      if (dcByItsOwnCode) PutIntraDc(w, b < 4, mb.dc[b]);
      for (const Event& e : blocks[b]) encoder.Put(w, e);
    }
  }
  w.Stuff();
}

// A data-partitioned P-VOP of random macroblocks in one packet: not coded,
// one or four vectors (random differences) or intra (DC by its own code),
// some with a quantiser change; the motion marker; luma patterns, quantiser
// changes and intra DCs; the reversible texture.
void WritePartitionedPredictedVop(BitWriter& w, const VolFields& vol, uint32_t timeIncrement, uint32_t count,
                                  std::mt19937& random) {
  VopFields vop;
  vop.codingType = 1;
  vop.timeIncrement = timeIncrement;
  vop.roundingType = random() % 2;
  vop.quant = 6;
  vop.fcodeForward = 1;
  WriteVopHeader(w, vol, vop);
  struct Macroblock {
    uint32_t flags = 0;  // 0: not coded
    uint32_t dquant = 0;
    uint32_t acPred = 0;
    int32_t dc[6] = {};
    std::vector<Event> blocks[6];
    uint32_t pattern = 0;
  };
  std::vector<Macroblock> macroblocks(count);
  int32_t quantiser = 6;
  for (Macroblock& mb : macroblocks) {
    const uint32_t kind = random() % 8;
    if (kind == 0) {
      w.Put(1, 1);  // not coded
      continue;
    }
    w.Put(0, 1);
    mb.flags = kind == 1 ? 0x4u : (kind == 2 ? 0x2u : 0x1u);
    const bool intra = mb.flags == 0x4;
    if (mb.flags != 0x2 && random() % 3 == 0) {
      mb.dquant = random() % 2 == 0 ? 2 : 0;  // +1 or -1
      const int32_t next = quantiser + (mb.dquant == 2 ? 1 : -1);
      if (next >= 4 && next <= 10) {
        mb.flags |= 0x8;
        quantiser = next;
      }
    }
    mb.acPred = intra ? random() % 2 : 0;
    for (int b = 0; b < 6; ++b) {
      mb.dc[b] = int32_t(random() % 3) - 1;
      mb.blocks[b] = RandomEvents(random, intra ? 1 : 0);
      mb.pattern = (mb.pattern << 1) | (mb.blocks[b].empty() ? 0u : 1u);
    }
    PutInterMcbpc(w, mb.flags, mb.pattern & 3);
    const int vectors = intra ? 0 : ((mb.flags & 0x2) != 0 ? 4 : 1);
    for (int v = 0; v < 2 * vectors; ++v) WriteVectorDifference(w, int32_t(random() % 13) - 6, 0);
  }
  w.Put(kMotionMarker, int(kMotionMarkerLength));
  for (const Macroblock& mb : macroblocks) {
    if (mb.flags == 0) continue;
    const bool intra = (mb.flags & 0x4) != 0;
    if (intra) w.Put(mb.acPred, 1);
    PutCbpy(w, mb.pattern >> 2, intra);
    if ((mb.flags & 0x8) != 0) w.Put(mb.dquant, 2);
    for (int b = 0; b < 6 && intra; ++b) PutIntraDc(w, b < 4, mb.dc[b]);
  }
  const BlockEncoder intraEncoder(Syntax::Reversible, true), interEncoder(Syntax::Reversible, false);
  for (const Macroblock& mb : macroblocks) {
    const BlockEncoder& encoder = (mb.flags & 0x4) != 0 ? intraEncoder : interEncoder;
    for (const std::vector<Event>& block : mb.blocks) {
      for (const Event& e : block) encoder.Put(w, e);
    }
  }
  w.Stuff();
}

// An I-VOP of DC-only intra macroblocks with random small DC steps: every
// inverse DCT is exact, so predictions from it compare bit for bit.
void WriteDcOnlyIntraVop(BitWriter& w, const VolFields& vol, uint32_t timeIncrement, std::mt19937& random) {
  VopFields vop;
  vop.codingType = 0;
  vop.timeIncrement = timeIncrement;
  vop.quant = 4;
  WriteVopHeader(w, vol, vop);
  const uint32_t count = ((vol.width + 15) / 16) * ((vol.height + 15) / 16);
  for (uint32_t m = 0; m < count; ++m) {
    PutIntraMcbpc(w, 0, false);
    w.Put(0, 1);  // ac_pred_flag
    PutCbpy(w, 0, true);
    if (vol.interlaced != 0) w.Put(0, 1);  // dct_type: frame
    for (int b = 0; b < 6; ++b) PutIntraDc(w, b < 4, int32_t(random() % 9) - 4);
  }
  w.Stuff();
}

// An S(GMC)-VOP of macroblocks without residual: not coded (predicted by the
// trajectory), mcsel (the same), or one vector of random difference, which
// predicts from the vectors the GMC macroblocks recorded.
void WriteSpriteVop(BitWriter& w, const VolFields& vol, uint32_t timeIncrement, bool vectors, std::mt19937& random) {
  VopFields vop;
  vop.codingType = 3;
  vop.timeIncrement = timeIncrement;
  vop.roundingType = random() % 2;
  vop.quant = 4;
  vop.fcodeForward = 1;
  // Mild or strong trajectories, inside the vector range of f-code 1.
  const uint32_t spread = timeIncrement % 2 == 0 ? 6 : 20;
  for (int i = 0; i < 3; ++i) {
    vop.du[i] = int32_t(random() % (2 * spread + 1)) - int32_t(spread);
    vop.dv[i] = int32_t(random() % (2 * spread + 1)) - int32_t(spread);
  }
  WriteVopHeader(w, vol, vop);
  const uint32_t count = ((vol.width + 15) / 16) * ((vol.height + 15) / 16);
  for (uint32_t m = 0; m < count; ++m) {
    const uint32_t kind = random() % (vectors ? 3 : 2);
    w.Put(kind == 0 ? 1u : 0u, 1);  // not_coded
    if (kind == 0) continue;
    PutInterMcbpc(w, 0x1, 0);
    w.Put(kind == 1 ? 1u : 0u, 1);  // mcsel
    PutCbpy(w, 0, false);
    if (kind == 2) {
      WriteVectorDifference(w, int32_t(random() % 9) - 4, 0);
      WriteVectorDifference(w, int32_t(random() % 9) - 4, 0);
    }
  }
  w.Stuff();
}

void WritePredictionOnlyVop(BitWriter& w, const VolFields& vol, uint32_t timeIncrement, std::mt19937& random) {
  VopFields vop;
  vop.codingType = 1;
  vop.timeIncrement = timeIncrement;
  vop.roundingType = random() % 2;
  vop.quant = 4;
  vop.fcodeForward = 1 + random() % 3;
  vop.topFieldFirst = random() % 2;
  WriteVopHeader(w, vol, vop);
  const uint32_t rSize = vop.fcodeForward - 1;
  const int32_t range = 32 << rSize;
  const uint32_t count = ((vol.width + 15) / 16) * ((vol.height + 15) / 16);
  for (uint32_t m = 0; m < count; ++m) {
    w.Put(0, 1);  // coded
    const bool four = random() % 3 == 0;
    PutInterMcbpc(w, four ? 0x2 : 0x1, 0);
    PutCbpy(w, 0, false);
    // Interlaced: no dct_type without a pattern; field prediction (with
    // both reference-field selects) for some one-vector macroblocks.
    const bool field = vol.interlaced != 0 && !four && random() % 2 == 0;
    if (vol.interlaced != 0 && !four) w.Put(field ? 1u : 0u, 1);
    if (field) w.Put(random() % 4, 2);
    for (int c = 0; c < (four || field ? (four ? 8 : 4) : 2); ++c) {
      WriteVectorDifference(w, int32_t(random() % uint32_t(2 * range + 1)) - range, rSize);
    }
  }
  w.Stuff();
}

void WritePredictionOnlyBVop(BitWriter& w, const VolFields& vol, uint32_t timeIncrement, std::mt19937& random,
                             uint32_t markerLength) {
  VopFields vop;
  vop.codingType = 2;
  vop.timeIncrement = timeIncrement;
  vop.quant = 4;
  vop.fcodeForward = markerLength != 0 ? 1 : 1 + random() % 3;
  vop.fcodeBackward = markerLength != 0 ? 1 : 1 + random() % 3;
  vop.topFieldFirst = random() % 2;
  WriteVopHeader(w, vol, vop);
  bool field = false;
  auto vector = [&](uint32_t fcode) {
    const int32_t range = 32 << (fcode - 1);
    for (int c = 0; c < (field ? 4 : 2); ++c) {
      WriteVectorDifference(w, int32_t(random() % uint32_t(2 * range + 1)) - range, fcode - 1);
    }
  };
  // Interlaced: field prediction for some macroblocks not in direct mode,
  // with the selects of each direction used.
  auto fieldInformation = [&](bool forward, bool backward) {
    if (vol.interlaced == 0) return;
    field = random() % 2 == 0;
    w.Put(field ? 1u : 0u, 1);
    if (field && forward) w.Put(random() % 4, 2);
    if (field && backward) w.Put(random() % 4, 2);
  };
  const uint32_t columns = (vol.width + 15) / 16;
  const uint32_t count = columns * ((vol.height + 15) / 16);
  uint32_t numberBits = 0;
  while ((1u << numberBits) < count) ++numberBits;
  for (uint32_t m = 0; m < count; ++m) {
    if (markerLength != 0 && m != 0 && m % columns == 0) {
      w.Stuff();
      w.Put(1, int(markerLength));
      w.Put(m, int(std::max(numberBits, 1u)));
      w.Put(vop.quant, 5);
      w.Put(0, 1);  // header_extension_code
    }
    const uint32_t mode = random() % 5;
    if (mode == 0) {
      w.Put(1, 1);  // modb 1: direct without a delta
      continue;
    }
    w.Put(1, 2);  // modb 01: a type, no pattern
    switch (mode) {
      case 1:  // direct with a delta
        w.Put(1, 1);
        for (int c = 0; c < 2; ++c) WriteVectorDifference(w, int32_t(random() % 65) - 32, 0);
        break;
      case 2:  // interpolated
        w.Put(1, 2);
        fieldInformation(true, true);
        vector(vop.fcodeForward);
        vector(vop.fcodeBackward);
        break;
      case 3:  // backward
        w.Put(1, 3);
        fieldInformation(false, true);
        vector(vop.fcodeBackward);
        break;
      default:  // forward
        w.Put(1, 4);
        fieldInformation(true, false);
        vector(vop.fcodeForward);
        break;
    }
  }
  w.Stuff();
}

VolFields PartitionedReversibleLayer() {
  VolFields vol;
  vol.width = 96;
  vol.height = 64;
  vol.dataPartitioned = 1;
  vol.reversibleVlc = 1;
  return vol;
}

std::vector<uint8_t> PartitionedReversibleStream(std::mt19937& random, uint32_t predicted) {
  const VolFields vol = PartitionedReversibleLayer();
  const uint32_t count = (vol.width / 16) * (vol.height / 16);
  BitWriter w;
  WriteVol(w, vol);
  WritePartitionedIntraVop(w, vol, 0, 0, RandomIntraMacroblocks(random, count));
  for (uint32_t picture = 1; picture <= predicted; ++picture) {
    WritePartitionedPredictedVop(w, vol, picture, count, random);
  }
  return w.bytes();
}

std::vector<uint8_t> SpriteStream(std::mt19937& random, uint32_t points, uint32_t accuracy, uint32_t quarterSample,
                                  uint32_t width, uint32_t height, uint32_t sprites, bool vectors) {
  VolFields vol;
  vol.width = width;
  vol.height = height;
  vol.resyncMarkerDisable = 1;
  vol.spriteEnable = 2;
  vol.spriteWarpingPoints = points;
  vol.spriteWarpingAccuracy = accuracy;
  vol.quarterSample = quarterSample;
  BitWriter w;
  WriteVol(w, vol);
  WriteDcOnlyIntraVop(w, vol, 0, random);
  for (uint32_t picture = 1; picture <= sprites; ++picture) WriteSpriteVop(w, vol, picture, vectors, random);
  return w.bytes();
}

}  // namespace tlx::mpeg4::test

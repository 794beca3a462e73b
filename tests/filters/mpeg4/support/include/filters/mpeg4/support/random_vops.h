// Random picture data written through the stream writer: VOPs of the
// tools no encoder at hand produces (data partitioning with reversible
// texture, global motion compensation), for the libavcodec comparisons and
// the soak.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "filters/mpeg4/support/bit_writer.h"
#include "filters/mpeg4/support/block_encoder.h"

namespace tlx::mpeg4::test {

// Random events of one block from scan index `start`, the last one marked;
// none for about a third of the blocks.
std::vector<Event> RandomEvents(std::mt19937& random, uint32_t start);

// An intra macroblock as chosen: per block the DC differential and the AC
// events, the chroma pattern bits following from them.
struct IntraMacroblock {
  int32_t dquant = -1;  // index of the quantiser step, -1 for none
  uint32_t acPred = 0;
  int32_t dc[6] = {};
  std::vector<Event> ac[6];
};

// `count` intra macroblocks with small DC steps (every reconstructed DC
// stays far from the ends of its range) and quantisers within 4-10.
std::vector<IntraMacroblock> RandomIntraMacroblocks(std::mt19937& random, uint32_t count);

// One data-partitioned I-VOP of the given macroblocks in one packet: types,
// quantiser changes and (with the DC by its own code, threshold 0) the DC
// parts, the DC marker, AC prediction flags and luma patterns, then the
// reversible texture. With threshold 7 the DC is the first coefficient.
void WritePartitionedIntraVop(BitWriter& w, const VolFields& vol, uint32_t intraDcVlcThr, uint32_t timeIncrement,
                              const std::vector<IntraMacroblock>& macroblocks);

// An I-VOP of the given macroblocks in the combined syntax (no interlace),
// starting at quantiser `quant`; the DC by its own code or as the first
// coefficient as `intraDcVlcThr` and the quantiser before each macroblock's
// change (its own for the first) decide.
void WriteIntraVop(BitWriter& w, const VolFields& vol, uint32_t intraDcVlcThr, uint32_t timeIncrement, uint32_t quant,
                   const std::vector<IntraMacroblock>& macroblocks);

// A data-partitioned P-VOP of `count` random macroblocks in one packet: not
// coded, one or four vectors (random differences) or intra (DC by its own
// code), some with a quantiser change; the motion marker; luma patterns,
// quantiser changes and intra DCs; the reversible texture.
void WritePartitionedPredictedVop(BitWriter& w, const VolFields& vol, uint32_t timeIncrement, uint32_t count,
                                  std::mt19937& random);

// An I-VOP of DC-only intra macroblocks with random small DC steps: every
// inverse DCT is exact, so predictions from it compare bit for bit.
void WriteDcOnlyIntraVop(BitWriter& w, const VolFields& vol, uint32_t timeIncrement, std::mt19937& random);

// An S(GMC)-VOP of macroblocks without residual: not coded (predicted by the
// trajectory), mcsel (the same), or (with `vectors`) one vector of random
// difference, which predicts from the vectors the GMC macroblocks recorded.
// Trajectories are mild or strong by the time increment's parity, inside
// the vector range of f-code 1.
void WriteSpriteVop(BitWriter& w, const VolFields& vol, uint32_t timeIncrement, bool vectors, std::mt19937& random);

// A P-VOP of one- and four-vector macroblocks without residual, vector
// differences anywhere in the range of a random f-code of 1-3 (so vectors
// wrap and point far beyond every edge), random rounding type.
void WritePredictionOnlyVop(BitWriter& w, const VolFields& vol, uint32_t timeIncrement, std::mt19937& random);

// A B-VOP of macroblocks without residual in random modes: direct without
// and with a delta, interpolated, backward, forward; f-codes of 1-3. The
// co-located macroblocks must all have been coded. With a marker length
// the f-codes are 1 and every macroblock row after the first starts a video
// packet whose resync marker has that many bits.
void WritePredictionOnlyBVop(BitWriter& w, const VolFields& vol, uint32_t timeIncrement, std::mt19937& random,
                             uint32_t markerLength = 0);

// The layer of the partitioned streams: 96x64, data partitioning with
// reversible texture.
VolFields PartitionedReversibleLayer();
// A whole stream: that layer, a partitioned I-VOP, `predicted` partitioned
// P-VOPs.
std::vector<uint8_t> PartitionedReversibleStream(std::mt19937& random, uint32_t predicted);

// A whole stream of a GMC layer (`points`, `accuracy`, `quarterSample`) of
// width x height: a DC-only I-VOP and `sprites` S-VOPs.
std::vector<uint8_t> SpriteStream(std::mt19937& random, uint32_t points, uint32_t accuracy, uint32_t quarterSample,
                                  uint32_t width, uint32_t height, uint32_t sprites, bool vectors);

}  // namespace tlx::mpeg4::test

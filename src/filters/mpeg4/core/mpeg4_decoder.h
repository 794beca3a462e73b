// The decoder instance behind the handle of the exported functions: its owned
// objects, kernel tables and state, grouped so that a step takes the part it
// works on, and the operations that build, size, reset and tear it down.
#pragma once

#include <cstdint>

#include "filters/mpeg4/core/bit_reader.h"
#include "filters/mpeg4/core/dsp.h"
#include "filters/mpeg4/core/inspection.h"
#include "filters/mpeg4/core/motion_vectors.h"
#include "filters/mpeg4/core/picture.h"
#include "filters/mpeg4/core/stream_headers.h"

namespace tlx::mpeg4 {

struct BlockDecoderState;
class OutputConverter;
class PictureCopyStrategy;

// Macroblock-type flags.
inline constexpr uint32_t kMbInter = 0x1;
inline constexpr uint32_t kMbInter4v = 0x2;
inline constexpr uint32_t kMbIntra = 0x4;
inline constexpr uint32_t kMbQuant = 0x8;
inline constexpr uint32_t kMbForward = 0x10;
inline constexpr uint32_t kMbBackward = 0x20;
inline constexpr uint32_t kMbDirect = 0x40;

// Which colour converter an instance chose when it was initialised.
enum class ConverterVariant : uint32_t { Mmx, Isse, Sse2 };

// What the first partitions of a data-partitioned packet leave for the last
// one, per macroblock of the packet.
struct PartitionRecord {
  uint32_t flags;            // macroblock-type flags; 0 for a not-coded macroblock
  uint32_t pattern;          // coded-block pattern word
  uint32_t quantiser;
  uint32_t intraDcVlc;       // DC by its own code (decoded in an earlier partition)
  uint32_t acPredFlag;
  int32_t dc[6];             // reconstructed DC values
  int32_t quantisedDc[6];
  uint8_t direction[6];      // DC/AC prediction directions
};

// The macroblock grid of the layer: its size and the per-macroblock tables.
struct MacroblockGrid {
  int32_t* column = nullptr;   // index -> column
  int32_t* row = nullptr;      // index -> row
  uint32_t* words = nullptr;   // per macroblock: 1 when not coded in the last I/P/S-VOP
  PartitionRecord* info = nullptr;  // partition record per macroblock
  uint32_t infoCount = 0;
  uint32_t columns = 0;
  uint32_t rows = 0;
  uint32_t count = 0;
  uint32_t numberBits = 0;     // bits of a macroblock number in a packet header
  uint32_t allocatedColumns = 0;
  uint32_t allocatedRows = 0;
  uint32_t allocatedCount = 0;
};

// The picture stores and the role each plays for the picture being decoded.
struct References {
  Picture* stores[4] = {};
  Picture* past = nullptr;
  Picture* future = nullptr;
  Picture* current = nullptr;
  Picture* bPicture = nullptr;
  Picture* postFilter = nullptr;
};

// The macroblock being decoded: its coefficient buffer and header values.
struct MacroblockState {
  // Six 8x8 blocks of coefficients (four luma, U, V) that the block decoders
  // fill and the inverse DCT clears again, and the six shape words that say
  // which regions of each block are occupied.
  alignas(32) int16_t blocks[6][64] = {};
  uint32_t shapes[6] = {};
  uint32_t index = 0;
  uint32_t quantiser = 0;
  uint32_t runningQuantiser = 0;
  uint32_t intraDcVlc = 0;   // DC by its own VLC for this macroblock
  uint32_t flags = 0;        // macroblock-type flags
  uint32_t codedBlockPattern = 0;
  uint32_t chromaPattern = 0;
  uint32_t acPredFlag = 0;
  uint32_t dctType = 0;
};

// The processor variants the instance chose when it was initialised.
struct ProcessorChoice {
  PictureVariant picture = PictureVariant::Plain;
  ConverterVariant converter = ConverterVariant::Mmx;
  bool postFilter = false;
  uint32_t features = 0;  // the masked processor feature word
};

// The observer of decoded macroblocks (inspection only).
struct Observation {
  MacroblockObserver observer = nullptr;
  void* context = nullptr;
  MacroblockReport* report = nullptr;  // filled for the observer
};

// What the output step converts with: the colour converter of the chosen
// variant and, on SSE2 processors, the deblocking post-filter.
struct OutputStage {
  OutputConverter* converter = nullptr;
  PictureCopyStrategy* postProcess = nullptr;  // null: no post-processing
};

struct Mpeg4Decoder {
  uint32_t status = 0;    // bit 31 sticky until the instance is destroyed
  uint32_t snapshot = 0;  // status of the current call before it began decoding
  BitReader reader;
  BlockDecoderState* blockDecoder = nullptr;
  DspTables dsp;           // the kernels of the chosen processor variant
  ProcessorChoice variants;
  References refs;
  StreamState stream;
  MacroblockGrid grid;
  MacroblockState mb;
  MotionVectorState motion;
  Observation observation;
  OutputStage output;
};

// Instance life cycle.
uint32_t InitialiseInstance(Mpeg4Decoder& decoder);
void TeardownInstance(Mpeg4Decoder& decoder);
uint32_t CollectStatus(Mpeg4Decoder& decoder);
void ResetDecoder(Mpeg4Decoder& decoder);
void ForgetReferences(Mpeg4Decoder& decoder);
uint32_t AllocateMacroblockArrays(Mpeg4Decoder& decoder, uint32_t width, uint32_t height);
uint32_t AllocateMacroblockInfo(Mpeg4Decoder& decoder);
void FreeMacroblockInfo(Mpeg4Decoder& decoder);

}  // namespace tlx::mpeg4

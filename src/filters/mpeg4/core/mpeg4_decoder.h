// The decoder instance behind the handle of the exported functions: its owned
// objects, kernel tables and state, grouped so that a step takes the part it
// works on, and the operations that build, size, reset and tear it down.
#pragma once

#include <cstdint>

#include "bit_reader.h"
#include "dsp.h"
#include "motion_vectors.h"
#include "picture.h"

namespace tlx::mpeg4 {

struct BlockDecoderState;
class OutputConverter;
class PictureCopyStrategy;


// VOP coding types.
inline constexpr uint32_t kVopI = 0;
inline constexpr uint32_t kVopP = 1;
inline constexpr uint32_t kVopB = 2;
inline constexpr uint32_t kVopS = 3;

inline constexpr uint32_t kSpriteGmc = 2;

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

// Video object layer values (syntax element names of the standard).
struct VolHeader {
  uint32_t startCode = 0;
  uint32_t randomAccessibleVol = 0;
  uint32_t videoObjectTypeIndication = 0;
  uint32_t isObjectLayerIdentifier = 0;
  uint32_t verid = 1;
  uint32_t priority = 1;
  uint32_t aspectRatioInfo = 0;
  uint32_t parWidth = 0;
  uint32_t parHeight = 0;
  uint32_t volControlParameters = 0;
  uint32_t chromaFormat = 1;
  uint32_t lowDelay = 0;
  uint32_t vbvParameters = 0;
  uint32_t shape = 0;
  uint32_t timeIncrementResolution = 0;
  uint32_t timeIncrementBits = 1;
  uint32_t fixedVopRate = 0;
  uint32_t fixedVopTimeIncrement = 0;
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t displayWidth = 0;
  uint32_t displayHeight = 0;
  uint32_t interlaced = 0;
  uint32_t obmcDisable = 0;
  uint32_t spriteEnable = 0;
  uint32_t spriteWarpingPoints = 0;
  uint32_t spriteWarpingAccuracy = 0;
  uint32_t spriteBrightnessChange = 0;
  uint32_t not8Bit = 0;
  uint32_t quantPrecision = 5;
  uint32_t bitsPerPixel = 8;
  uint32_t quantType = 0;
  uint32_t quarterSample = 0;
  uint32_t complexityEstimationDisable = 1;
  uint32_t estimationMethod = 0;
  uint32_t estimationFlags = 0;
  uint32_t resyncMarkerDisable = 0;
  uint32_t dataPartitioned = 0;
  uint32_t reversibleVlc = 0;
  uint32_t newpredEnable = 0;
  uint32_t reducedResolutionVopEnable = 0;
  uint32_t scalability = 0;
};

// VOP values of the picture being decoded.
struct VopHeader {
  uint32_t codingType = 0;
  uint32_t moduloTimeBase = 0;
  uint32_t timeIncrement = 0;
  uint32_t coded = 0;
  uint32_t roundingType = 0;
  uint32_t intraDcVlcThr = 0;
  uint32_t topFieldFirst = 0;
  uint32_t alternateVerticalScan = 0;
  uint32_t quant = 0;
  uint32_t fcodeForward = 0;
  uint32_t fcodeBackward = 0;
  // Sprite trajectory of an S(GMC)-VOP: point count and the warped positions
  // (twice the reference position plus the displacement).
  uint32_t warpingPoints = 0;
  int32_t warpedX[3] = {};
  int32_t warpedY[3] = {};
};

// Short-header picture values.
struct ShortHeader {
  uint32_t temporalReference = 0;
  uint32_t splitScreenIndicator = 0;
  uint32_t documentCameraIndicator = 0;
  uint32_t fullPictureFreezeRelease = 0;
  uint32_t sourceFormat = 0;
  uint32_t pictureCodingType = 0;
  uint32_t macroblocksPerGob = 0;
  uint32_t gobsPerPicture = 0;
  uint32_t gobNumber = 0;
};

// What the observer learns of one decoded macroblock.
struct MacroblockReport {
  uint32_t index = 0;            // raster index
  uint32_t flags = 0;            // macroblock-type flags
  uint32_t codedBlockPattern = 0;
  uint32_t quantiser = 0;
  int32_t vectors[4][2] = {};    // per 8x8 luma block (x, y); forward ones in B-VOPs
  int32_t backward[4][2] = {};   // backward vectors per 8x8 block of a B-VOP macroblock
  // How the vectors were used (the mode words of motion_vectors.h):
  // kVectorModeOne (also GMC and intra), kVectorModeFour (also B direct),
  // or field prediction with the reference-field selects of the forward
  // direction in bits 3-4 and, in B-VOPs, of the backward one in bits 5-6.
  // Field vectors are in blocks 0-1 (top field) and 2-3 (bottom field).
  uint32_t mode = 0;
  // Quantised levels of the six blocks after DC/AC prediction, raster order;
  // entry 0 of an intra block is its quantised DC.
  int16_t levels[6][64] = {};
};

using MacroblockObserver = void (*)(void* context, const MacroblockReport& report);

// The layer and picture headers, the short-header state and the time bases
// of the stream being decoded.
struct StreamState {
  uint32_t volSeen = 0;
  uint32_t shortHeaderMode = 0;
  uint32_t voStartCode = 0;
  VolHeader vol;
  VopHeader vop;
  ShortHeader shortHeader;
  uint32_t closedGov = 0;
  uint32_t brokenLink = 0;
  int32_t currentSeconds = 0;     // seconds of the current VOP
  int32_t lastReferenceBase = 0;  // seconds base of the last reference VOP
  int32_t nextReferenceBase = 0;  // seconds base for the next reference VOP
  int32_t bTimeUnit = 0;          // field-distance unit; 0 until the first B-VOP
  int32_t trb = 0;
  int32_t trd = 0;
  uint32_t resyncMarkerLength = 0;
  int32_t intraDcThreshold = -1;
  uint32_t intraDcVlcIndex = 0;
  // 1 from a refused reference picture to the next decoded I-VOP (or the
  // references' loss): the pictures predicted meanwhile are refused too.
  uint32_t referenceRefused = 0;
};

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

// Video object, layer, group and picture headers, the short header, the end
// marker, and the set-up of each picture before its macroblocks are decoded:
// the header records, the stream state they make up, and their parsers.
#pragma once

#include <cstdint>

#include "filters/mpeg4/core/bit_reader.h"

namespace tlx::mpeg4 {

struct Mpeg4Decoder;

// VOP coding types.
inline constexpr uint32_t kVopI = 0;
inline constexpr uint32_t kVopP = 1;
inline constexpr uint32_t kVopB = 2;
inline constexpr uint32_t kVopS = 3;

// The sprite_enable value of global motion compensation.
inline constexpr uint32_t kSpriteGmc = 2;

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

// Consumes a video object start code when the window holds one.
void ParseVoStartCode(Mpeg4Decoder& decoder);
// Parses the layer header at the window, or, when the window holds no layer
// start code, switches the instance to short-header mode. A refused or damaged
// layer leaves no usable layer behind (volSeen 0).
void ParseVolHeader(Mpeg4Decoder& decoder);
// Parses a group-of-VOP header: its time code becomes every seconds base.
void ParseGovHeader(Mpeg4Decoder& decoder);
// Parses a VOP header into the stream state (nothing before a good layer).
void ParseVopHeader(Mpeg4Decoder& decoder);
// Parses a short-header picture header and sizes the layer for its source
// format; formats above the largest layer size set kStatusUnsupported.
void ParseShortHeader(Mpeg4Decoder& decoder);
// Decodes one short-header picture from its picture start code: header,
// reference rotation, every group of blocks, the end-of-sequence marker
// when one follows. A predicted picture without its reference is skipped.
void DecodeShortHeaderPicture(Mpeg4Decoder& decoder);
// Consumes the end marker and makes the last reference the one shown.
void FlushAtEndMarker(Mpeg4Decoder& decoder);
// Decodes one VOP from its start code: header, reference rotation, times,
// every video packet, and the border of the finished picture.
void DecodeVop(Mpeg4Decoder& decoder);

// Bits of vop_time_increment for a time resolution, 1-16.
uint32_t ComputeTimeIncrementBits(uint32_t resolution);
// The intra DC threshold of the stream's intra_dc_vlc_thr index; an index
// above 7 sets kStatusOutOfRange and is held to 7.
void SetIntraDcVlcThreshold(Mpeg4Decoder& decoder);
// Counts 1 bits up to the terminating 0 (modulo_time_base), consuming them.
uint32_t ReadModuloTimeBase(BitReader& reader);
// A seconds base advanced by a modulo time base. The count wraps, as the
// reported unsigned field does, instead of overflowing on a long stream.
inline int32_t AddSeconds(int32_t base, uint32_t seconds) {
  return static_cast<int32_t>(static_cast<uint32_t>(base) + seconds);
}
// One warping vector code of a sprite trajectory; an invalid code or a
// missing marker sets kStatusInvalidCode.
int32_t ReadWarpingVectorCode(Mpeg4Decoder& decoder);

}  // namespace tlx::mpeg4

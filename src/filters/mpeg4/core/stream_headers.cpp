// Video object, layer, group and picture headers, the short header, the end
// marker, and the set-up of each picture before its macroblocks are decoded.
#include "filters/mpeg4/core/stream_headers.h"

#include <cstring>
#include <initializer_list>

#include "filters/mpeg4/core/block/block_decoder_state.h"
#include "filters/mpeg4/core/frame_driver.h"
#include "filters/mpeg4/core/mpeg4_decoder.h"
#include "filters/mpeg4/core/start_codes.h"

namespace tlx::mpeg4 {
namespace {

constexpr uint32_t kMaxWidth = 720;
constexpr uint32_t kMaxHeight = 576;
constexpr int32_t kIntraDcThresholds[8] = {500, 13, 15, 17, 19, 21, 23, 0};

uint32_t Read(Mpeg4Decoder& decoder, uint32_t bits) { return BitRead(decoder.reader, bits); }
void Marker(Mpeg4Decoder& decoder) { BitReadMarker(decoder.reader, decoder.status); }

void ReadZeroBit(Mpeg4Decoder& decoder) {
  if (BitRead(decoder.reader, 1) != 0) decoder.status |= kStatusMarker;
}

// Complexity-estimation flags, in the order the VOP header carries their
// estimates for I-, P- and B-VOPs. Every estimate is 8 bits but the VLC bit
// count (0x2000), which is 4.
constexpr uint32_t kEstimateVlcBits = 0x2000;
constexpr uint32_t kEstimatesI[] = {0x1, 0x2, 0x4, 0x8, 0x10, 0x20, 0x40, 0x200, 0x400, 0x800, 0x1000, 0x2000,
                                    0x100000};
constexpr uint32_t kEstimatesP[] = {0x1,   0x2,    0x4,    0x8,     0x10,    0x20,     0x40,
                                    0x200, 0x400,  0x800,  0x1000,  0x2000,  0x80,     0x100,
                                    0x4000, 0x8000, 0x20000, 0x40000, 0x80000, 0x100000, 0x200000};
constexpr uint32_t kEstimatesB[] = {0x1,    0x2,    0x4,     0x8,     0x10,    0x20,     0x40,     0x200,
                                    0x400,  0x800,  0x1000,  0x2000,  0x80,    0x100,    0x4000,   0x8000,
                                    0x20000, 0x40000, 0x80000, 0x10000, 0x100000, 0x200000};

template <size_t N>
void SkipEstimates(Mpeg4Decoder& decoder, const uint32_t (&order)[N]) {
  for (uint32_t flag : order) {
    if ((decoder.stream.vol.estimationFlags & flag) != 0) BitSkip(decoder.reader, flag == kEstimateVlcBits ? 4 : 8);
  }
}

void ReadFlags(Mpeg4Decoder& decoder, uint32_t firstFlag, int count) {
  for (int i = 0; i < count; ++i) {
    if (Read(decoder, 1) != 0) decoder.stream.vol.estimationFlags |= firstFlag << i;
  }
}

void ReadComplexityEstimationHeader(Mpeg4Decoder& decoder) {
  VolHeader& vol = decoder.stream.vol;
  vol.estimationFlags = 0;
  vol.estimationMethod = Read(decoder, 2);
  if (vol.estimationMethod > 1) return;
  if (Read(decoder, 1) == 0) ReadFlags(decoder, 0x1, 6);     // shape
  if (Read(decoder, 1) == 0) ReadFlags(decoder, 0x40, 4);    // texture set 1
  Marker(decoder);
  if (Read(decoder, 1) == 0) ReadFlags(decoder, 0x400, 4);   // texture set 2
  if (Read(decoder, 1) == 0) ReadFlags(decoder, 0x4000, 6);  // motion compensation
  Marker(decoder);
  if (vol.estimationMethod == 1 && Read(decoder, 1) == 0) ReadFlags(decoder, 0x100000, 2);
}

// The former past reference becomes the new current picture and future
// reference; the former future reference becomes the past one.
void RotateReferences(Mpeg4Decoder& decoder) {
  Picture* recycled = decoder.refs.past;
  decoder.refs.past = decoder.refs.future;
  decoder.refs.future = decoder.refs.current = recycled;
  recycled->ClearState();
}

void AdvanceReferenceSeconds(Mpeg4Decoder& decoder) {
  decoder.stream.lastReferenceBase = decoder.stream.nextReferenceBase;
  decoder.stream.nextReferenceBase = AddSeconds(decoder.stream.nextReferenceBase, decoder.stream.vop.moduloTimeBase);
  decoder.stream.currentSeconds = decoder.stream.nextReferenceBase;
}

// Ends a picture that is not decoded: its store stays not valid, so it is
// neither shown nor predicted from; a refused reference refuses the pictures
// predicted from it until the next I-VOP. A predicted picture whose
// reference is missing only because the references were forgotten (a
// discontinuity) is passed over quietly.
void RefusePicture(Mpeg4Decoder& decoder, bool referencesMissing) {
  if (referencesMissing && decoder.status == 0) {
    if (decoder.stream.referenceRefused != 0) decoder.status |= kStatusUnsupported;
  } else if (decoder.stream.vop.codingType != kVopB) {
    decoder.stream.referenceRefused = 1;
  }
}

// The end of a picture's data: its store becomes valid when it was decoded
// to its end (clean, or with concealed damage), and is refused when the
// macroblock layer met what it does not decode.
void FinishPicture(Mpeg4Decoder& decoder) {
  if ((decoder.status & kStatusUnsupported) != 0) {
    RefusePicture(decoder, false);
    return;
  }
  decoder.refs.current->valid = kPictureValid;
  if (decoder.stream.vop.codingType == kVopI) decoder.stream.referenceRefused = 0;
}

}  // namespace

uint32_t ComputeTimeIncrementBits(uint32_t resolution) {
  uint32_t value = resolution - 1;
  uint32_t bits = 0;
  while (value != 0) {
    ++bits;
    value >>= 1;
  }
  if (bits < 1) bits = 1;
  if (bits > 16) bits = 16;
  return bits;
}

void SetIntraDcVlcThreshold(Mpeg4Decoder& decoder) {
  if (decoder.stream.intraDcVlcIndex > 7) {
    decoder.status |= kStatusOutOfRange;
    decoder.stream.intraDcVlcIndex = 7;
  }
  decoder.stream.intraDcThreshold = kIntraDcThresholds[decoder.stream.intraDcVlcIndex];
}

uint32_t ReadModuloTimeBase(BitReader& reader) {
  uint32_t count = 0;
  while (!BitAtEnd(reader) && BitRead(reader, 1) == 1) ++count;
  return count;
}

void ParseVoStartCode(Mpeg4Decoder& decoder) {
  const uint32_t word = BitWindow(decoder.reader);
  if (!IsVoStartCode(word)) return;
  decoder.stream.voStartCode = word;
  BitSkip(decoder.reader, 32);
}

void ParseVolHeader(Mpeg4Decoder& decoder) {
  BitReader& reader = decoder.reader;
  VolHeader& vol = decoder.stream.vol;
  const uint32_t word = BitWindow(reader);
  if (!IsVolStartCode(word)) {
    decoder.stream.shortHeaderMode = 1;
    if (decoder.status == 0) decoder.stream.volSeen = 1;
    return;
  }
  vol.startCode = word;
  decoder.stream.shortHeaderMode = 0;
  // The fields are overwritten as they are read, so a layer that fails part
  // way leaves no usable one behind: pictures wait for the next good layer.
  decoder.stream.volSeen = 0;
  BitSkip(reader, 32);

  vol.randomAccessibleVol = Read(decoder, 1);
  vol.videoObjectTypeIndication = Read(decoder, 8);
  vol.isObjectLayerIdentifier = Read(decoder, 1);
  if (vol.isObjectLayerIdentifier != 0) {
    vol.verid = Read(decoder, 4);
    vol.priority = Read(decoder, 3);
  } else {
    vol.verid = 1;
    vol.priority = 1;
  }
  vol.aspectRatioInfo = Read(decoder, 4);
  if (vol.aspectRatioInfo == 15) {
    vol.parWidth = Read(decoder, 8);
    vol.parHeight = Read(decoder, 8);
  }
  vol.volControlParameters = Read(decoder, 1);
  if (vol.volControlParameters != 0) {
    vol.chromaFormat = Read(decoder, 2);
    vol.lowDelay = Read(decoder, 1);
    vol.vbvParameters = Read(decoder, 1);
    if (vol.vbvParameters != 0) {
      for (uint32_t bits : {15u, 15u, 15u}) {
        BitSkip(reader, bits);
        Marker(decoder);
      }
      BitSkip(reader, 3);
      BitSkip(reader, 11);
      Marker(decoder);
      BitSkip(reader, 15);
      Marker(decoder);
    }
  }
  vol.shape = Read(decoder, 2);
  if (vol.shape != 0) {
    vol.shape = 0;
    decoder.status |= kStatusUnsupported;
    return;
  }
  Marker(decoder);
  vol.timeIncrementResolution = Read(decoder, 16);
  vol.timeIncrementBits = ComputeTimeIncrementBits(vol.timeIncrementResolution);
  Marker(decoder);
  vol.fixedVopRate = Read(decoder, 1);
  vol.fixedVopTimeIncrement = vol.fixedVopRate != 0 ? Read(decoder, vol.timeIncrementBits) : 0;

  Marker(decoder);
  const uint32_t width = Read(decoder, 13);
  Marker(decoder);
  const uint32_t height = Read(decoder, 13);
  Marker(decoder);
  // A refused size is not kept: the layer's size always matches the stores.
  if (width > kMaxWidth || height > kMaxHeight) {
    decoder.status |= kStatusUnsupported;
    return;
  }
  if (width == 0 || height == 0) {
    decoder.status |= kStatusOutOfRange;
    return;
  }
  vol.width = width;
  vol.height = height;
  vol.displayWidth = width;
  vol.displayHeight = height;
  if ((AllocateMacroblockArrays(decoder, width, height) & kStatusFatal) != 0) return;

  vol.interlaced = Read(decoder, 1);
  vol.obmcDisable = Read(decoder, 1);
  vol.spriteEnable = Read(decoder, vol.verid == 1 ? 1 : 2);
  if (vol.spriteEnable != 0) {
    // Only global motion compensation; its two-bit code exists only in the
    // syntax of versions after 1.
    if (vol.spriteEnable != kSpriteGmc || vol.verid == 1) {
      decoder.status |= kStatusUnsupported;
      return;
    }
    vol.spriteWarpingPoints = Read(decoder, 6);
    if (vol.spriteWarpingPoints > 3) {
      decoder.status |= kStatusUnsupported;
      return;
    }
    vol.spriteWarpingAccuracy = Read(decoder, 2);
    vol.spriteBrightnessChange = Read(decoder, 1);
    // The VOP header would carry a brightness change factor we do not read.
    if (vol.spriteBrightnessChange != 0) {
      decoder.status |= kStatusUnsupported;
      return;
    }
  } else {
    vol.spriteWarpingPoints = 0;
    vol.spriteWarpingAccuracy = 0;
    vol.spriteBrightnessChange = 0;
  }
  vol.not8Bit = Read(decoder, 1);
  if (vol.not8Bit != 0) {
    vol.quantPrecision = Read(decoder, 4);
    vol.bitsPerPixel = Read(decoder, 4);
    decoder.status |= kStatusUnsupported;
    return;
  }
  vol.quantPrecision = 5;
  vol.bitsPerPixel = 8;
  vol.quantType = Read(decoder, 1);
  if (vol.quantType != 0) {
    decoder.status |= kStatusUnsupported;
    return;
  }
  vol.quarterSample = vol.verid != 1 ? Read(decoder, 1) : 0;
  vol.complexityEstimationDisable = Read(decoder, 1);
  if (vol.complexityEstimationDisable == 0) {
    ReadComplexityEstimationHeader(decoder);
    // Method 1 and sprite pictures carry estimates in places the VOP header
    // parser does not read: every later VOP would be misparsed.
    if (vol.estimationMethod == 1 || vol.spriteEnable == kSpriteGmc) {
      decoder.status |= kStatusUnsupported;
      return;
    }
  }
  vol.resyncMarkerDisable = Read(decoder, 1);
  vol.dataPartitioned = Read(decoder, 1);
  if (vol.dataPartitioned != 0) {
    if ((AllocateMacroblockInfo(decoder) & kStatusFatal) != 0) return;
    vol.reversibleVlc = Read(decoder, 1);
  } else {
    FreeMacroblockInfo(decoder);
    vol.reversibleVlc = 0;
  }
  SetReversibleVlc(*decoder.blockDecoder, vol.reversibleVlc != 0);
  if (vol.verid != 1) {
    vol.newpredEnable = Read(decoder, 1);
    if (vol.newpredEnable != 0) BitSkip(reader, 3);
    vol.reducedResolutionVopEnable = Read(decoder, 1);
    // Both add VOP-header fields this decoder does not read.
    if (vol.newpredEnable != 0 || vol.reducedResolutionVopEnable != 0) {
      decoder.status |= kStatusUnsupported;
      return;
    }
  } else {
    vol.newpredEnable = 0;
    vol.reducedResolutionVopEnable = 0;
  }
  vol.scalability = Read(decoder, 1);
  if (vol.scalability != 0) {
    decoder.status |= kStatusUnsupported;
    return;
  }
  BitNextStartCodeAfterUserData(reader);
  decoder.status |= reader.status;
  if (decoder.status == 0) decoder.stream.volSeen = 1;
}

void ParseGovHeader(Mpeg4Decoder& decoder) {
  BitReader& reader = decoder.reader;
  if (BitWindow(reader) != kGovStartCode) {
    decoder.status |= kStatusMissingHeader;
    return;
  }
  BitSkip(reader, 32);
  const uint32_t hours = Read(decoder, 5);
  const uint32_t minutes = Read(decoder, 6);
  Marker(decoder);
  const uint32_t seconds = Read(decoder, 6);
  const int32_t total = static_cast<int32_t>(hours * 3600 + minutes * 60 + seconds);
  decoder.stream.currentSeconds = decoder.stream.lastReferenceBase = decoder.stream.nextReferenceBase = total;
  decoder.stream.closedGov = Read(decoder, 1);
  decoder.stream.brokenLink = Read(decoder, 1);
  BitNextStartCodeAfterUserData(reader);
}

int32_t ReadWarpingVectorCode(Mpeg4Decoder& decoder) {
  BitReader& reader = decoder.reader;
  const uint32_t window = BitWindow(reader);
  uint32_t length = 0;
  uint32_t prefix = 0;
  if ((window >> 30) == 0) {
    prefix = 2;
  } else if ((window >> 29) < 6) {
    length = (window >> 29) - 1;  // 010 .. 101: lengths 1 .. 4
    prefix = 3;
  } else {
    uint32_t ones = 0;
    while (ones < 32 && ((window << ones) & 0x80000000u) != 0) ++ones;
    if (ones >= 13) {
      decoder.status |= kStatusInvalidCode;
      return 0;
    }
    length = ones + 3;
    prefix = ones + 1;
  }
  BitSkip(reader, prefix);
  int32_t value = 0;
  if (length > 0) {
    const uint32_t code = BitRead(reader, length);
    value = (code >> (length - 1)) != 0 ? int32_t(code) : int32_t(code) - int32_t(1u << length) + 1;
  }
  if (BitRead(reader, 1) == 0) decoder.status |= kStatusInvalidCode;
  return value;
}

void ParseVopHeader(Mpeg4Decoder& decoder) {
  BitReader& reader = decoder.reader;
  VopHeader& vop = decoder.stream.vop;
  const VolHeader& vol = decoder.stream.vol;
  if (decoder.stream.volSeen == 0) return;
  if (BitWindow(reader) != kVopStartCode) {
    decoder.status |= kStatusMissingHeader;
    return;
  }
  BitSkip(reader, 32);
  vop.codingType = Read(decoder, 2);
  vop.moduloTimeBase = ReadModuloTimeBase(reader);
  Marker(decoder);
  vop.timeIncrement = Read(decoder, vol.timeIncrementBits);
  Marker(decoder);
  vop.coded = Read(decoder, 1);
  if (vop.coded == 0) {
    BitNextStartCode(reader);
    return;
  }
  const bool gmc = vol.spriteEnable == kSpriteGmc;
  vop.roundingType = (vop.codingType == kVopP || (vop.codingType == kVopS && gmc)) ? Read(decoder, 1) : 0;
  if (vol.complexityEstimationDisable == 0 && vol.estimationMethod == 0) {
    if (vop.codingType == kVopI) SkipEstimates(decoder, kEstimatesI);
    if (vop.codingType == kVopP) SkipEstimates(decoder, kEstimatesP);
    if (vop.codingType == kVopB) SkipEstimates(decoder, kEstimatesB);
  }
  decoder.stream.intraDcVlcIndex = Read(decoder, 3);
  SetIntraDcVlcThreshold(decoder);
  if (vol.interlaced != 0) {
    vop.topFieldFirst = Read(decoder, 1);
    vop.alternateVerticalScan = Read(decoder, 1);
  } else {
    vop.topFieldFirst = 0;
    vop.alternateVerticalScan = 0;
  }
  SetScanTables(*decoder.blockDecoder, vop.alternateVerticalScan != 0);
  vop.warpingPoints = 0;
  if (gmc && vop.codingType == kVopS) {
    vop.warpingPoints = vol.spriteWarpingPoints;
    int32_t du[3] = {};
    int32_t dv[3] = {};
    for (uint32_t i = 0; i < vop.warpingPoints; ++i) {
      du[i] = ReadWarpingVectorCode(decoder);
      dv[i] = ReadWarpingVectorCode(decoder);
    }
    const int32_t referenceX[3] = {0, int32_t(vol.width), 0};
    const int32_t referenceY[3] = {0, 0, int32_t(vol.height)};
    for (uint32_t i = 0; i < 3; ++i) {
      const int32_t dx = i == 0 ? du[0] : du[0] + du[i];
      const int32_t dy = i == 0 ? dv[0] : dv[0] + dv[i];
      vop.warpedX[i] = 2 * referenceX[i] + dx;
      vop.warpedY[i] = 2 * referenceY[i] + dy;
    }
  }
}

void ParseShortHeader(Mpeg4Decoder& decoder) {
  static constexpr struct {
    uint32_t width, height, macroblocksPerGob, gobs;
  } kSourceFormats[8] = {{0, 0, 0, 0},       {128, 96, 8, 6},     {176, 144, 11, 9}, {352, 288, 22, 18},
                         {704, 576, 88, 18}, {1408, 1152, 352, 18}, {0, 0, 0, 0},      {0, 0, 0, 0}};
  BitReader& reader = decoder.reader;
  if (decoder.stream.shortHeaderMode == 0 || decoder.stream.volSeen == 0 || !StartsShortPicture(reader)) {
    decoder.status |= kStatusMissingHeader;
    return;
  }
  BitSkip(reader, kShortHeaderStartCodeLength);
  VolHeader& vol = decoder.stream.vol;
  vol.shape = 0;
  vol.obmcDisable = 1;
  vol.quantType = 0;
  vol.resyncMarkerDisable = 1;
  vol.dataPartitioned = 0;
  vol.reversibleVlc = 0;
  vol.interlaced = 0;
  vol.complexityEstimationDisable = 1;
  vol.scalability = 0;
  vol.bitsPerPixel = 8;
  vol.quantPrecision = 5;
  vol.quarterSample = 0;
  vol.spriteEnable = 0;
  decoder.stream.vop.roundingType = 0;
  decoder.stream.vop.fcodeForward = 1;
  decoder.stream.vop.coded = 1;
  decoder.mb.intraDcVlc = 0;

  ShortHeader& header = decoder.stream.shortHeader;
  header.temporalReference = Read(decoder, 8);
  Marker(decoder);
  ReadZeroBit(decoder);
  header.splitScreenIndicator = Read(decoder, 1);
  header.documentCameraIndicator = Read(decoder, 1);
  header.fullPictureFreezeRelease = Read(decoder, 1);
  header.sourceFormat = Read(decoder, 3);
  header.pictureCodingType = Read(decoder, 1);
  BitSkip(reader, 4);
  decoder.stream.vop.quant = Read(decoder, 5);
  ReadZeroBit(decoder);
  while (!BitAtEnd(reader) && Read(decoder, 1) == 1) BitSkip(reader, 8);

  const auto& format = kSourceFormats[header.sourceFormat];
  header.macroblocksPerGob = format.macroblocksPerGob;
  header.gobsPerPicture = format.gobs;
  if (format.width == 0 || format.width > kMaxWidth || format.height > kMaxHeight) {
    decoder.status |= kStatusUnsupported;
    return;
  }
  vol.width = format.width;
  vol.height = format.height;
  vol.displayWidth = format.width;
  vol.displayHeight = format.height;
  AllocateMacroblockArrays(decoder, format.width, format.height);
  decoder.stream.vop.timeIncrement = 0;
  vol.timeIncrementResolution = 0;
  header.gobNumber = 0;
}

void DecodeShortHeaderPicture(Mpeg4Decoder& decoder) {
  BitReader& reader = decoder.reader;
  VopHeader& vop = decoder.stream.vop;
  ParseShortHeader(decoder);
  vop.codingType = decoder.stream.shortHeader.pictureCodingType != 0 ? kVopP : kVopI;
  const bool referencesMissing = vop.codingType == kVopP && decoder.refs.future->valid == 0;
  // The picture takes its store before anything can refuse it, so a refused
  // one leaves a store that is not valid in its place.
  vop.moduloTimeBase = 0;
  RotateReferences(decoder);
  AdvanceReferenceSeconds(decoder);
  PictureTimeSet(*decoder.refs.current, decoder.stream.currentSeconds, 0, 0);
  decoder.refs.current->kind = vop.codingType;
  if (decoder.status != 0 || referencesMissing) {
    // Not decoded: on to the next picture start code or the end.
    RefusePicture(decoder, referencesMissing);
    BitNextPictureStart(reader);
    return;
  }
  decoder.mb.index = 0;
  decoder.mb.runningQuantiser = 0;
  decoder.mb.quantiser = vop.quant;
  decoder.refs.past->roundingAdd = decoder.refs.future->roundingAdd = 1;
  decoder.refs.future->reorder += 2;
  ResetPredictorRows(*decoder.blockDecoder);
  ResetDcPredictors(*decoder.blockDecoder);
  SetScanTables(*decoder.blockDecoder, false);
  std::memset(decoder.mb.blocks, 0, sizeof(decoder.mb.blocks));
  MotionVectorState& motion = decoder.motion;
  SetPictures(motion, decoder.refs.current, decoder.refs.past, decoder.refs.future);
  motion.forwardRange = 0;
  motion.quarterSample = 0;
  ResetMotionVectorRows(motion);
  ResetMotionVectorPredictors(motion);
  decoder.stream.resyncMarkerLength = kGobStartCodeLength;

  ShortHeader& header = decoder.stream.shortHeader;
  header.gobNumber = 0;
  while (header.gobNumber < header.gobsPerPicture) DecodeShortHeaderGobs(decoder);
  if (BitPeekAfterStuffing(reader, 22) == kShortHeaderEndCode) {
    BitByteAlign(reader);
    BitSkip(reader, 22);
  }
  BitByteAlign(reader);
  decoder.refs.current->PadBorders(decoder.dsp.prediction);
  FinishPicture(decoder);
}

void FlushAtEndMarker(Mpeg4Decoder& decoder) {
  BitSkip(decoder.reader, 32);
  RotateReferences(decoder);
}

void DecodeVop(Mpeg4Decoder& decoder) {
  BitReader& reader = decoder.reader;
  VopHeader& vop = decoder.stream.vop;
  if (decoder.stream.volSeen == 0) {
    decoder.status |= kStatusMissingHeader;
    vop.coded = 0;
    return;
  }
  ParseVopHeader(decoder);
  if (vop.coded == 0) return;
  // A predicted picture needs its references: without them (after a
  // discontinuity with an open group, or a refused reference) it is not
  // decoded and nothing is shown.
  const bool reference = vop.codingType != kVopB;
  const bool referencesMissing = (vop.codingType != kVopI && decoder.refs.future->valid == 0) ||
                                 (!reference && decoder.refs.past->valid == 0);
  // The picture takes its store before anything can refuse it, so a refused
  // one leaves a store that is not valid in its place of the display order.
  const int32_t resolution = int32_t(decoder.stream.vol.timeIncrementResolution);
  if (reference) {
    RotateReferences(decoder);
    AdvanceReferenceSeconds(decoder);
    PictureTimeSet(*decoder.refs.current, decoder.stream.currentSeconds, int32_t(vop.timeIncrement), resolution);
  } else {
    decoder.refs.current = decoder.refs.bPicture;
    decoder.refs.current->ClearState();
  }
  decoder.refs.current->kind = vop.codingType;
  if (decoder.status != 0 || referencesMissing) {
    RefusePicture(decoder, referencesMissing);
    BitNextStartCode(reader);
    return;
  }
  decoder.mb.index = 0;
  decoder.mb.runningQuantiser = 0;

  if (reference) {
    decoder.refs.past->roundingAdd = decoder.refs.future->roundingAdd = 1 - vop.roundingType;
  } else {
    decoder.refs.current->roundingAdd = decoder.refs.past->roundingAdd = decoder.refs.future->roundingAdd = 1;
    decoder.stream.currentSeconds = AddSeconds(decoder.stream.lastReferenceBase, vop.moduloTimeBase);
    PictureTimeSet(*decoder.refs.current, decoder.stream.currentSeconds, int32_t(vop.timeIncrement), resolution);
    decoder.stream.trb = PictureTimeDifference(*decoder.refs.current, *decoder.refs.past);
    decoder.stream.trd = PictureTimeDifference(*decoder.refs.future, *decoder.refs.past);
    if (decoder.stream.bTimeUnit == 0) decoder.stream.bTimeUnit = decoder.stream.trb != 0 ? decoder.stream.trb : 1;
    if (decoder.stream.trd == 0) decoder.stream.trd = 1;
  }
  decoder.refs.future->reorder += 2;

  ResetPredictorRows(*decoder.blockDecoder);
  ResetDcPredictors(*decoder.blockDecoder);
  std::memset(decoder.mb.blocks, 0, sizeof(decoder.mb.blocks));

  vop.quant = Read(decoder, decoder.stream.vol.quantPrecision);
  decoder.mb.quantiser = vop.quant;
  if (vop.codingType != kVopI) vop.fcodeForward = Read(decoder, 3);
  if (vop.codingType == kVopB) vop.fcodeBackward = Read(decoder, 3);
  // An f-code of 0 is forbidden: no vector range follows from it.
  if ((vop.codingType != kVopI && vop.fcodeForward == 0) || (vop.codingType == kVopB && vop.fcodeBackward == 0)) {
    decoder.status |= kStatusOutOfRange;
    RefusePicture(decoder, false);
    BitNextStartCode(reader);
    return;
  }
  MotionVectorState& motion = decoder.motion;
  SetPictures(motion, decoder.refs.current, decoder.refs.past, decoder.refs.future);
  motion.forwardRange = vop.fcodeForward - 1;
  motion.quarterSample = decoder.stream.vol.quarterSample;
  motion.backwardRange = vop.codingType == kVopB ? vop.fcodeBackward - 1 : 0;
  ResetMotionVectorRows(motion);
  ResetMotionVectorPredictors(motion);
  if (vop.codingType == kVopB) {
    const int32_t unit = decoder.stream.bTimeUnit;
    SetFrameDistances(motion, decoder.stream.trb, decoder.stream.trd);
    SetFieldDistances(motion, vop.topFieldFirst, PictureTimeScaled(*decoder.refs.past, unit),
                      PictureTimeScaled(*decoder.refs.current, unit), PictureTimeScaled(*decoder.refs.future, unit));
  }
  if (vop.codingType == kVopS) {
    const VolHeader& vol = decoder.stream.vol;
    decoder.status |= GmcSetTrajectory(motion, vol.spriteWarpingAccuracy, vop.warpingPoints, vop.warpedX,
                                       vop.warpedY, int32_t(vol.width), int32_t(vol.height));
  }

  DecodeVopData(decoder);
  while (!BitAtEnd(reader) && BitResyncMarkerBits(reader, decoder.stream.resyncMarkerLength) != 0) {
    ReadVideoPacketHeader(decoder);
    DecodeVopData(decoder);
  }
  // Data that ends after a whole macroblock but before the picture's last
  // one leaves the rest of the picture undecoded: never a clean picture.
  // (A picture with an error of its own already says so.)
  if ((decoder.status | reader.status) == 0 && decoder.mb.index < decoder.grid.count) {
    decoder.status |= kStatusInvalidCode;
  }
  uint32_t code = BitNextStartCode(reader);
  while (code == kStuffingStartCode) {
    BitSkip(reader, 32);
    code = BitNextStartCode(reader);
  }
  decoder.refs.current->PadBorders(decoder.dsp.prediction);
  FinishPicture(decoder);
}

}  // namespace tlx::mpeg4

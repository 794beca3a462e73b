// The decode path behind Mpeg4DecAFrame and the two look functions: walking
// the start codes of one input, handing headers to their parsers, decoding the
// picture packet by packet, and reporting the bytes used.
#include "filters/mpeg4/core/frame_driver.h"

#include <algorithm>
#include <cstring>

#include "filters/mpeg4/core/block/block_decoder_state.h"
#include "filters/mpeg4/core/macroblock_layer.h"
#include "filters/mpeg4/core/mpeg4_decoder.h"
#include "filters/mpeg4/core/picture_output.h"
#include "filters/mpeg4/core/start_codes.h"
#include "filters/mpeg4/core/stream_headers.h"

namespace tlx::mpeg4 {
namespace {

constexpr uint32_t kTimeAtEndMarker = 0x7FFFFFFF;


// Walks start codes until one that `stop` accepts or the end of the data (0),
// passing over every other code.
template <typename Stop>
uint32_t WalkStartCodes(BitReader& reader, Stop stop) {
  uint32_t code = BitNextStartCode(reader);
  while (code != 0 && !stop(code)) {
    BitSkip(reader, 32);
    code = BitNextStartCode(reader);
  }
  return code;
}

uint32_t AttachInput(Mpeg4Decoder& decoder, Mpeg4DecFrame& frame) {
  if (frame.bufferBase != nullptr) {
    if ((reinterpret_cast<uintptr_t>(frame.bufferBase) & 3) != 0) {
      decoder.status |= kStatusInvalidArgument;
      return decoder.status;
    }
    if (((reinterpret_cast<uintptr_t>(frame.input) + frame.inputLength) & 3) != 0) {
      decoder.status |= kStatusMisalignedEnd;
      return decoder.status;
    }
  }
  BitReaderInit(decoder.reader, frame.input, 0, frame.input + frame.inputLength);
  return 0;
}

void ReportConsumed(Mpeg4Decoder& decoder, Mpeg4DecFrame& frame) {
  BitByteAlign(decoder.reader);
  const uint8_t* byte = nullptr;
  uint32_t bitOffset = 0;
  BitPosition(decoder.reader, &byte, &bitOffset);
  frame.consumed = static_cast<uint32_t>(byte - frame.input);
}

uint32_t FindSequenceStart(Mpeg4Decoder& decoder) {
  return WalkStartCodes(
      decoder.reader, [](uint32_t code) { return IsVoStartCode(code) || IsVolStartCode(code) || code == kEndMarker; });
}

// True when the next macroblock of a B-VOP is one whose co-located
// macroblock was not coded: it is copied without reading a bit, also where
// the packet's data has ended.
bool CopiedMacroblockNext(const Mpeg4Decoder& decoder) {
  const uint32_t index = decoder.mb.index;
  return decoder.stream.vop.codingType == kVopB && index < decoder.grid.count && decoder.grid.words[index] != 0;
}

void ComputeResyncMarkerLength(Mpeg4Decoder& decoder) {
  const VopHeader& vop = decoder.stream.vop;
  if (vop.codingType == kVopI || decoder.stream.vol.shape == 2) {
    decoder.stream.resyncMarkerLength = 17;
  } else if (vop.codingType == kVopP || vop.codingType == kVopS) {
    decoder.stream.resyncMarkerLength = 16 + vop.fcodeForward;
  } else if (vop.codingType == kVopB) {
    decoder.stream.resyncMarkerLength =
        16 + (vop.fcodeForward > vop.fcodeBackward ? vop.fcodeForward : vop.fcodeBackward);
  }
}

void DecodeVopCombined(Mpeg4Decoder& decoder) {
  BitReader& reader = decoder.reader;
  ComputeResyncMarkerLength(decoder);
  const uint32_t length = decoder.stream.resyncMarkerLength;
  // Each round consumes bits, copies a macroblock of a B-VOP (which reads
  // none) or ends the packet; one that starts at the end of the data ends it.
  while (CopiedMacroblockNext(decoder) || !BitAtEnd(reader)) {
    DecodeMacroblocksCombined(decoder);
    if ((decoder.status | reader.status) != 0) BitSkipToResync(reader, length);
    if (!CopiedMacroblockNext(decoder) && BitNextIsResyncMarker(reader, length - 1) == 0) break;
  }
}

void ClearOutFields(Mpeg4DecFrame& frame) {
  frame.consumed = 0;
  frame.width = frame.height = 0;
  frame.sequenceFound = 0;
  frame.pictureKind = 0;
  frame.outputAvailable = 0;
  frame.reorderDelay = 0;
  frame.timeSeconds = frame.timeIncrement = frame.timeResolution = 0;
  frame.yPlane = frame.uPlane = frame.vPlane = nullptr;
  frame.yStride = frame.uStride = frame.vStride = 0;
  frame.shortHeader = 0;
  frame.chromaFormat = 0;
}

// The start of a call: out fields cleared, fatal state checked, input
// attached. Returns non-zero when the call must end with that status.
uint32_t BeginCall(Mpeg4Decoder& decoder, Mpeg4DecFrame& frame) {
  ClearOutFields(frame);
  if (const uint32_t status = CollectStatus(decoder); status != 0) return status;
  decoder.snapshot = 0;
  return AttachInput(decoder, frame);
}

// Folds the reader's overrun mark into the instance status and returns it.
uint32_t CallStatus(Mpeg4Decoder& decoder) {
  decoder.status |= decoder.reader.status;
  return decoder.snapshot | decoder.status;
}

// At a video object start code its header (and the user data after it), then
// at a layer start code the layer header, which starts the sequence afresh.
// Returns true when a layer header was parsed.
bool ParseObjectAndLayer(Mpeg4Decoder& decoder, uint32_t code) {
  if (IsVoStartCode(code)) {
    ParseVoStartCode(decoder);
    code = BitNextStartCodeAfterUserData(decoder.reader);
  }
  if (!IsVolStartCode(code)) return false;
  ParseVolHeader(decoder);
  decoder.stream.bTimeUnit = 0;
  return true;
}

// The sequence-header look without the reset on failure.
void LookSequence(Mpeg4Decoder& decoder, Mpeg4DecFrame& frame) {
  BitReader& reader = decoder.reader;
  if (StartsShortPicture(reader)) {
    ParseVolHeader(decoder);
    ParseShortHeader(decoder);
    const bool clean = (decoder.status | reader.status) == 0;
    frame.sequenceFound = clean ? kMpeg4SequenceFound : 0;
    frame.shortHeader = clean ? 1 : 0;
  } else {
    if (ParseObjectAndLayer(decoder, FindSequenceStart(decoder))) {
      BitNextStartCode(reader);
      frame.shortHeader = 0;
      frame.sequenceFound = (decoder.status | reader.status) == 0 ? kMpeg4SequenceFound : 0;
    } else {
      decoder.status |= kStatusNoPicture;
    }
  }
  frame.width = decoder.stream.vol.width;
  frame.height = decoder.stream.vol.height;
  frame.chromaFormat = decoder.stream.vol.chromaFormat;
}

}  // namespace

uint32_t DecodeFrame(Mpeg4Decoder& decoder, Mpeg4DecFrame& frame) {
  if (const uint32_t status = BeginCall(decoder, frame); status != 0) return status;
  BitReader& reader = decoder.reader;

  if (StartsShortPicture(reader)) {
    ParseVolHeader(decoder);
    DecodeShortHeaderPicture(decoder);
    frame.pictureKind = decoder.stream.vop.codingType + 1;
    frame.timeSeconds = static_cast<uint32_t>(decoder.stream.currentSeconds);
    OutputPicture(decoder, frame);
    frame.width = decoder.stream.vol.width;
    frame.height = decoder.stream.vol.height;
    frame.shortHeader = 1;
    frame.chromaFormat = decoder.stream.vol.chromaFormat;
    ReportConsumed(decoder, frame);
    return CallStatus(decoder);
  }
  // In a short-header stream, bytes before the next picture start code (or
  // start code) hold no picture: they are passed over and reported, never
  // walked as an MPEG-4 stream.
  if (decoder.stream.shortHeaderMode != 0) {
    BitNextPictureStart(reader);
    ReportConsumed(decoder, frame);
    if (frame.consumed != 0) {
      decoder.status |= kStatusNoPicture;
      return CallStatus(decoder);
    }
  }

  uint32_t code;
  if (decoder.stream.volSeen != 0) {
    code = WalkStartCodes(reader, [](uint32_t c) {
      return IsVoStartCode(c) || IsVolStartCode(c) || c == kGovStartCode || c == kVopStartCode || c == kEndMarker;
    });
  } else {
    code = FindSequenceStart(decoder);
  }
  if (ParseObjectAndLayer(decoder, code)) {
    frame.width = decoder.stream.vol.width;
    frame.height = decoder.stream.vol.height;
  }
  code = WalkStartCodes(reader, [](uint32_t c) { return c == kGovStartCode || c == kVopStartCode || c == kEndMarker; });
  if (code == kGovStartCode) {
    ParseGovHeader(decoder);
    code = WalkStartCodes(reader, [](uint32_t c) { return c == kVopStartCode || c == kEndMarker; });
  }
  if (code == kVopStartCode) {
    DecodeVop(decoder);
    frame.pictureKind = decoder.stream.vop.codingType + 1;
    frame.timeSeconds = static_cast<uint32_t>(decoder.stream.currentSeconds);
    frame.timeIncrement = decoder.stream.vop.timeIncrement;
    frame.timeResolution = decoder.stream.vol.timeIncrementResolution;
    frame.shortHeader = 0;
    OutputPicture(decoder, frame);
  } else if (code == kEndMarker) {
    FlushAtEndMarker(decoder);
    frame.pictureKind = 0;
    frame.timeSeconds = frame.timeIncrement = frame.timeResolution = kTimeAtEndMarker;
    frame.shortHeader = 0;
    OutputPicture(decoder, frame);
  } else {
    decoder.status |= kStatusNoPicture;
  }
  frame.width = decoder.stream.vol.width;
  frame.height = decoder.stream.vol.height;
  frame.chromaFormat = decoder.stream.vol.chromaFormat;
  BitNextStartCode(reader);
  ReportConsumed(decoder, frame);
  return CallStatus(decoder);
}

uint32_t LookSequenceHeader(Mpeg4Decoder& decoder, Mpeg4DecFrame& frame) {
  if (const uint32_t status = BeginCall(decoder, frame); status != 0) return status;
  LookSequence(decoder, frame);
  ReportConsumed(decoder, frame);
  return CallStatus(decoder);
}

uint32_t LookPictureHeader(Mpeg4Decoder& decoder, Mpeg4DecFrame& frame) {
  if (const uint32_t status = BeginCall(decoder, frame); status != 0) return status;
  BitReader& reader = decoder.reader;
  if (decoder.stream.volSeen == 0) LookSequence(decoder, frame);
  uint32_t code = BitNextStartCode(reader);
  while (code != 0 && code != kVopStartCode && code != kEndMarker) {
    if (code == kGovStartCode) {
      ParseGovHeader(decoder);
      code = BitNextStartCode(reader);
    } else {
      BitSkip(reader, 32);
      code = BitNextStartCode(reader);
    }
  }
  if (code == kVopStartCode) {
    ParseVopHeader(decoder);
    if (decoder.status == 0) {
      const VopHeader& vop = decoder.stream.vop;
      const bool bidirectional = vop.codingType == kVopB && decoder.stream.vol.scalability == 0;
      const int32_t base = bidirectional ? decoder.stream.lastReferenceBase : decoder.stream.nextReferenceBase;
      frame.width = decoder.stream.vol.width;
      frame.height = decoder.stream.vol.height;
      frame.pictureKind = vop.codingType + 1;
      frame.timeSeconds = static_cast<uint32_t>(AddSeconds(base, vop.moduloTimeBase));
      frame.timeIncrement = vop.timeIncrement;
    }
  } else if (code == kEndMarker) {
    frame.timeSeconds = frame.timeIncrement = kTimeAtEndMarker;
  }
  ReportConsumed(decoder, frame);
  return CallStatus(decoder);
}

void DecodeVopData(Mpeg4Decoder& decoder) {
  const uint32_t type = decoder.stream.vop.codingType;
  // B-VOPs of a partitioned layer are coded in the combined syntax.
  if (decoder.stream.vol.dataPartitioned == 0 || type == kVopB) {
    DecodeVopCombined(decoder);
    return;
  }
  ComputeResyncMarkerLength(decoder);
  if (type == kVopS) {
    // Partitioned sprite pictures are not decoded by this core: the picture
    // is reported damaged rather than left stale without a word.
    decoder.status |= kStatusUnsupported;
    BitNextStartCode(decoder.reader);
    return;
  }
  DecodeVopPartitioned(decoder);
}

void DecodeShortHeaderGobs(Mpeg4Decoder& decoder) {
  BitReader& reader = decoder.reader;
  ShortHeader& header = decoder.stream.shortHeader;
  // A group start code, after zero bits to the byte boundary, that is not the
  // next picture's start code.
  BitReader aligned = reader;
  BitByteAlign(aligned);
  if (header.gobNumber > 0 && BitPeekAfterStuffing(reader, kGobStartCodeLength) == kGobStartCode &&
      !StartsShortPicture(aligned)) {
    reader = aligned;
    BitSkip(reader, kGobStartCodeLength);
    const uint32_t number = BitRead(reader, 5);
    BitSkip(reader, 2);  // frame identifier
    decoder.mb.quantiser = BitRead(reader, 5);
    // A group number that goes backwards or past the picture is damage.
    if (number < header.gobNumber || number >= header.gobsPerPicture || decoder.mb.quantiser == 0) {
      decoder.status |= kStatusOutOfRange;
      decoder.mb.quantiser = decoder.stream.vop.quant;
    } else {
      header.gobNumber = number;
    }
    // Macroblocks of groups that were lost are concealed.
    const uint32_t first = std::min(header.gobNumber * header.macroblocksPerGob, decoder.grid.count);
    for (uint32_t index = decoder.mb.index; index < first; ++index) ConcealMacroblock(decoder, index);
    decoder.mb.index = std::max(decoder.mb.index, first);
    ResetMotionVectorRows(decoder.motion);
    ResetMotionVectorPredictors(decoder.motion);
  }
  const uint32_t limit = std::min((header.gobNumber + 1) * header.macroblocksPerGob, decoder.grid.count);
  while (decoder.mb.index < limit) {
    if (BitPeekAfterStuffing(reader, kGobStartCodeLength) == kGobStartCode) {
      BitByteAlign(reader);
      if (!StartsShortPicture(reader)) break;
    }
    // A truncated picture ends with its data, or at the next picture's start
    // code; the rest stays as it is.
    if (BitAtEnd(reader) || StartsShortPicture(reader)) {
      decoder.status |= kStatusInvalidCode;
      header.gobNumber = header.gobsPerPicture;
      return;
    }
    const uint64_t position = BitPositionBits(reader);
    const uint32_t index = decoder.mb.index;
    DecodeMacroblocksCombined(decoder);
    if ((decoder.status | reader.status) != 0) BitSkipToResync(reader, kGobStartCodeLength);
    // Each round moves on, so damage cannot hold the picture in one place.
    if (BitPositionBits(reader) == position && decoder.mb.index == index) BitSkip(reader, 8);
  }
  ++header.gobNumber;
}

void ReadVideoPacketHeader(Mpeg4Decoder& decoder) {
  BitReader& reader = decoder.reader;
  BitSkipToResync(reader, decoder.stream.resyncMarkerLength);
  const uint32_t markerBits = BitResyncMarkerBits(reader, decoder.stream.resyncMarkerLength);
  BitSkip(reader, markerBits != 0 ? markerBits : decoder.stream.resyncMarkerLength);
  uint32_t number = BitRead(reader, decoder.grid.numberBits);
  if (number > decoder.grid.count) {
    decoder.status |= kStatusOutOfRange;
    number = decoder.grid.count;
  }
  for (uint32_t index = decoder.mb.index; index < number; ++index) ConcealMacroblock(decoder, index);
  decoder.mb.index = number;

  ResetPredictorRows(*decoder.blockDecoder);
  ResetDcPredictors(*decoder.blockDecoder);
  ResetMotionVectorRows(decoder.motion);
  ResetMotionVectorPredictors(decoder.motion);
  ResetBidirectionalPredictors(decoder.motion);
  decoder.mb.runningQuantiser = 0;
  std::memset(decoder.mb.blocks, 0, sizeof(decoder.mb.blocks));

  if (decoder.stream.vol.shape != 2) decoder.mb.quantiser = BitRead(reader, decoder.stream.vol.quantPrecision);
  if (BitRead(reader, 1) == 0) return;  // header_extension_code
  ReadModuloTimeBase(reader);
  BitReadMarker(reader, decoder.status);
  decoder.stream.vop.timeIncrement = BitRead(reader, decoder.stream.vol.timeIncrementBits);
  BitReadMarker(reader, decoder.status);
  const uint32_t codingType = BitRead(reader, 2);
  if (decoder.stream.vol.shape == 2) return;
  decoder.stream.intraDcVlcIndex = BitRead(reader, 3);
  SetIntraDcVlcThreshold(decoder);
  if (codingType != kVopI) {
    const uint32_t forward = BitRead(reader, 3);
    if (forward == 0) {
      decoder.status |= kStatusOutOfRange;
      return;
    }
    decoder.stream.vop.fcodeForward = forward;
    decoder.motion.forwardRange = forward - 1;
  }
  if (codingType == kVopB) {
    const uint32_t backward = BitRead(reader, 3);
    if (backward == 0) {
      decoder.status |= kStatusOutOfRange;
      return;
    }
    decoder.stream.vop.fcodeBackward = backward;
    decoder.motion.backwardRange = backward - 1;
  }
}

}  // namespace tlx::mpeg4

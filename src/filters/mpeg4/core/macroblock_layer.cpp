#include "macroblock_layer.h"

#include <cstring>

#include "block/block_decoder_state.h"
#include "block/block_decoding.h"
#include "macroblock_header.h"
#include "motion_vectors.h"
#include "start_codes.h"

namespace tlx::mpeg4 {
namespace {

constexpr int32_t kDquant[4] = {-1, -2, 1, 2};
// Every coded-block bit of the pattern word.
constexpr uint32_t kCodedBlocks = 0xFC0;

// Abandons the macroblock: back to its start, on to the next resync point.
// An overrun of the reader stays in the instance status. The coefficient
// blocks are cleared, since no reconstruction consumes them.
void RestoreAndSkip(Mpeg4Decoder& decoder, const BitReader& saved) {
  decoder.status |= decoder.reader.status;
  decoder.reader = saved;
  std::memset(decoder.mb.blocks, 0, sizeof(decoder.mb.blocks));
  BitSkipToResync(decoder.reader, decoder.stream.resyncMarkerLength);
}

void WriteQuantiserMap(Mpeg4Decoder& decoder, uint32_t index) {
  const uint32_t position =
      uint32_t(decoder.grid.row[index]) * decoder.grid.columns + uint32_t(decoder.grid.column[index]);
  if (position < decoder.refs.current->quantiserMapSize) {
    decoder.refs.current->quantiserMap[position] = static_cast<uint8_t>(decoder.mb.quantiser);
  }
}

void UpdateIntraDcVlcSwitch(Mpeg4Decoder& decoder) {
  decoder.mb.intraDcVlc = int32_t(decoder.mb.runningQuantiser) < decoder.stream.intraDcThreshold ? 1 : 0;
}

}  // namespace

void ConcealMacroblock(Mpeg4Decoder& decoder, uint32_t index) {
  const uint32_t column = uint32_t(decoder.grid.column[index]);
  const uint32_t row = uint32_t(decoder.grid.row[index]);
  // The records of a B-VOP's time belong to its backward reference.
  if (decoder.stream.vop.codingType != kVopB) StoreZeroVectors(decoder.motion, column, row);
  ResetMacroblockPredictors(*decoder.blockDecoder, column);
  decoder.refs.current->CopyMacroblock(decoder.dsp.prediction, *decoder.refs.past, int(column * 16), int(row * 16));
}

namespace {

// dbquant: 0 keeps the quantiser, 10 lowers it by 2, 11 raises it by 2.
void ReadDbquant(Mpeg4Decoder& decoder, BitReader& reader) {
  if (BitRead(reader, 1) == 0) return;
  const int32_t quantiser = int32_t(decoder.mb.quantiser) + (BitRead(reader, 1) != 0 ? 2 : -2);
  if (quantiser < 1 || quantiser > 31) {
    decoder.status |= kStatusOutOfRange;
    decoder.mb.quantiser = 16;
  } else {
    decoder.mb.quantiser = uint32_t(quantiser);
  }
}

void CopyVectors(int32_t (&to)[4][2], const int32_t (&from)[4][2]) {
  for (int b = 0; b < 4; ++b) {
    to[b][0] = from[b][0];
    to[b][1] = from[b][1];
  }
}

void SetVectors(int32_t (&to)[4][2], const VectorEntry& v) {
  for (auto& vector : to) {
    vector[0] = v.x;
    vector[1] = v.y;
  }
}

// One macroblock of a B-VOP in the combined syntax.
void DecodeBMacroblock(Mpeg4Decoder& decoder, const BitReader& saved) {
  BitReader& reader = decoder.reader;
  const uint32_t index = decoder.mb.index;
  if (index >= decoder.grid.count) {
    decoder.status |= kStatusOutOfRange;
    RestoreAndSkip(decoder, saved);
    return;
  }
  const uint32_t column = uint32_t(decoder.grid.column[index]);
  const uint32_t row = uint32_t(decoder.grid.row[index]);
  MotionVectorState& motion = decoder.motion;
  if (column == 0) ResetBidirectionalPredictors(motion);
  const int x = int(column * 16);
  const int y = int(row * 16);
  if (decoder.grid.words[index] != 0) {
    // The co-located macroblock was not coded: a copy of the past reference,
    // and nothing is read.
    decoder.refs.current->CopyMacroblock(decoder.dsp.prediction, *decoder.refs.past, x, y);
    WriteQuantiserMap(decoder, index);
    decoder.mb.index = index + 1;
    return;
  }
  decoder.mb.codedBlockPattern = 0;
  const bool directWithoutDelta = BitRead(reader, 1) != 0;  // modb 1
  if (directWithoutDelta) {
    decoder.mb.flags = kMbDirect;
  } else {
    const bool patternFollows = BitRead(reader, 1) == 0;
    DecodeBMacroblockType(decoder, reader);
    if (patternFollows) DecodeCbpb(decoder, reader);
  }
  const uint32_t flags = decoder.mb.flags;
  const uint32_t pattern = decoder.mb.codedBlockPattern;
  if ((flags & kMbQuant) != 0 && pattern != 0) ReadDbquant(decoder, reader);
  decoder.mb.dctType = 0;
  if (decoder.stream.vol.interlaced != 0) {
    if (pattern != 0) decoder.mb.dctType = BitRead(reader, 1);
    // Field prediction is not decoded by this core.
    if ((flags & kMbDirect) == 0 && BitRead(reader, 1) != 0) decoder.status |= kStatusUnsupported;
  }
  if ((decoder.status | reader.status) != 0) {
    RestoreAndSkip(decoder, saved);
    return;
  }

  MacroblockReport* report = decoder.observation.observer != nullptr ? decoder.observation.report : nullptr;
  if (report != nullptr) *report = MacroblockReport{};
  if ((flags & kMbDirect) != 0) {
    const DirectVectors d = PredictDirect(motion, directWithoutDelta ? nullptr : &reader, column, row,
                                          decoder.stream.trb, decoder.stream.trd);
    if (report != nullptr) {
      CopyVectors(report->vectors, d.forward);
      CopyVectors(report->backward, d.backward);
    }
  } else {
    if ((flags & kMbForward) != 0) {
      const VectorEntry v = DecodeForwardVector(motion, reader, column, row);
      if (report != nullptr) SetVectors(report->vectors, v);
    }
    if ((flags & kMbBackward) != 0) {
      const VectorEntry v = (flags & kMbForward) != 0 ? DecodeBackwardVectorAveraged(motion, reader, column, row)
                                                      : DecodeBackwardVector(motion, reader, column, row);
      if (report != nullptr) SetVectors(report->backward, v);
    }
  }
  decoder.status |= motion.status;
  decoder.blockDecoder->levelCapture = report != nullptr ? report->levels : nullptr;
  if (pattern != 0) {
    decoder.status |= DecodeInterMacroblock(*decoder.blockDecoder, reader, decoder.mb.blocks, decoder.mb.shapes,
                                            int32_t(decoder.mb.quantiser), pattern, column);
  }
  if ((decoder.status | reader.status) != 0) {
    RestoreAndSkip(decoder, saved);
    return;
  }
  if (report != nullptr) {
    report->index = index;
    report->flags = flags;
    report->codedBlockPattern = pattern;
    report->quantiser = decoder.mb.quantiser;
    decoder.observation.observer(decoder.observation.context, *report);
  }
  if (pattern != 0) {
    decoder.refs.current->AddInterMacroblock(decoder.dsp.block, decoder.mb.blocks, x, y, int(decoder.mb.dctType),
                                             pattern, decoder.mb.shapes);
  }
  WriteQuantiserMap(decoder, index);
  decoder.mb.index = index + 1;
}

}  // namespace

void DecodeMacroblocksCombined(Mpeg4Decoder& decoder) {
  BitReader& reader = decoder.reader;
  const StreamState& stream = decoder.stream;
  const uint32_t type = stream.vop.codingType;
  const bool predicted = type == kVopP;
  // Sprite macroblocks are not decoded by this core.
  if (type == kVopS) {
    decoder.status |= kStatusUnsupported;
    return;
  }
  const BitReader saved = reader;
  if (type == kVopB) {
    DecodeBMacroblock(decoder, saved);
    return;
  }
  const uint32_t index = decoder.mb.index;
  const bool inside = index < decoder.grid.count;
  if (inside && decoder.grid.column[index] == 0) {
    ResetDcPredictors(*decoder.blockDecoder);
    ResetMotionVectorPredictors(decoder.motion);
  }

  if (predicted && BitRead(reader, 1) != 0) {  // not_coded
    if (!inside) {
      decoder.status |= kStatusOutOfRange;
      RestoreAndSkip(decoder, saved);
      return;
    }
    decoder.grid.words[index] = 1;
    ConcealMacroblock(decoder, index);
    WriteQuantiserMap(decoder, index);
    decoder.mb.index = index + 1;
    return;
  }
  DecodeMcbpc(decoder, reader);
  if ((decoder.status | reader.status) != 0) {
    RestoreAndSkip(decoder, saved);
    return;
  }
  if (decoder.mb.flags == 0) return;  // stuffing: the driver calls again
  if (!inside) {
    decoder.status |= kStatusOutOfRange;
    RestoreAndSkip(decoder, saved);
    return;
  }
  decoder.grid.words[index] = 0;
  const bool intra = (decoder.mb.flags & kMbIntra) != 0;
  const bool shortHeader = stream.shortHeaderMode != 0;
  decoder.mb.acPredFlag = intra && !shortHeader ? BitRead(reader, 1) : 0;
  DecodeCbpy(decoder, reader);
  if ((decoder.mb.flags & kMbQuant) != 0) {
    const int32_t quantiser = int32_t(decoder.mb.quantiser) + kDquant[BitRead(reader, 2)];
    if (quantiser < 1 || quantiser > 31) {
      decoder.status |= kStatusOutOfRange;
      decoder.mb.quantiser = 16;
    } else {
      decoder.mb.quantiser = uint32_t(quantiser);
    }
  }
  if (decoder.mb.runningQuantiser == 0) decoder.mb.runningQuantiser = decoder.mb.quantiser;
  if (!shortHeader) UpdateIntraDcVlcSwitch(decoder);
  decoder.mb.runningQuantiser = decoder.mb.quantiser;
  const uint32_t pattern = decoder.mb.codedBlockPattern;
  decoder.mb.dctType = 0;
  if (stream.vol.interlaced != 0) {
    if (intra || (pattern & kCodedBlocks) != 0) decoder.mb.dctType = BitRead(reader, 1);
    // Field prediction is not decoded by this core.
    if ((decoder.mb.flags & kMbInter) != 0 && BitRead(reader, 1) != 0) decoder.status |= kStatusUnsupported;
  }
  if ((decoder.status | reader.status) != 0) {
    RestoreAndSkip(decoder, saved);
    return;
  }

  const uint32_t column = uint32_t(decoder.grid.column[index]);
  const uint32_t row = uint32_t(decoder.grid.row[index]);
  if (intra) {
    StoreZeroVectors(decoder.motion, column, row);
  } else if ((decoder.mb.flags & kMbInter4v) != 0) {
    decoder.status |= DecodeFourVectors(decoder.motion, reader, column, row);
  } else {
    decoder.status |= DecodeOneVector(decoder.motion, reader, column, row);
  }
  MacroblockReport* report = decoder.observation.observer != nullptr ? decoder.observation.report : nullptr;
  if (report != nullptr) *report = MacroblockReport{};
  decoder.blockDecoder->levelCapture = report != nullptr ? report->levels : nullptr;
  const int32_t quantiser = int32_t(decoder.mb.quantiser);
  BlockDecoderState& blocks = *decoder.blockDecoder;
  if (intra && shortHeader) {
    decoder.status |=
        DecodeShortHeaderIntraMacroblock(blocks, reader, decoder.mb.blocks, decoder.mb.shapes, quantiser, pattern);
  } else if (intra) {
    decoder.status |= DecodeIntraMacroblock(blocks, reader, decoder.mb.blocks, decoder.mb.shapes, quantiser, pattern,
                                            decoder.mb.intraDcVlc, decoder.mb.acPredFlag, column);
  } else if (shortHeader) {
    decoder.status |= DecodeShortHeaderInterMacroblock(blocks, reader, decoder.mb.blocks, decoder.mb.shapes, quantiser,
                                                       pattern, column);
  } else {
    decoder.status |=
        DecodeInterMacroblock(blocks, reader, decoder.mb.blocks, decoder.mb.shapes, quantiser, pattern, column);
  }
  if ((decoder.status | reader.status) != 0) {
    RestoreAndSkip(decoder, saved);
    return;
  }
  if (report != nullptr) {
    report->index = index;
    report->flags = decoder.mb.flags;
    report->codedBlockPattern = pattern;
    report->quantiser = decoder.mb.quantiser;
    const MacroblockVectorRecord& record = decoder.motion.records[index];
    for (int b = 0; b < 4; ++b) {
      report->vectors[b][0] = record.vectors[b][0];
      report->vectors[b][1] = record.vectors[b][1];
    }
    decoder.observation.observer(decoder.observation.context, *report);
  }
  const int x = int(column * 16);
  const int y = int(row * 16);
  const int fieldDct = int(decoder.mb.dctType);
  if (intra) {
    decoder.refs.current->PutIntraMacroblock(decoder.dsp.block, decoder.mb.blocks, x, y, fieldDct, decoder.mb.shapes);
  } else {
    decoder.refs.current->AddInterMacroblock(decoder.dsp.block, decoder.mb.blocks, x, y, fieldDct, pattern,
                                             decoder.mb.shapes);
  }
  WriteQuantiserMap(decoder, index);
  decoder.mb.index = index + 1;
}

}  // namespace tlx::mpeg4

#include "filters/mpeg4/core/macroblock_layer.h"

#include <algorithm>
#include <cstring>

#include "filters/mpeg4/core/block/block_decoder_state.h"
#include "filters/mpeg4/core/block/block_decoding.h"
#include "filters/mpeg4/core/gmc.h"
#include "filters/mpeg4/core/macroblock_header.h"
#include "filters/mpeg4/core/motion_vectors.h"
#include "filters/mpeg4/core/mpeg4_decoder.h"
#include "filters/mpeg4/core/start_codes.h"

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

// Tells the observer of a macroblock predicted without residual: its
// recorded vectors.
void ReportPredictionOnly(Mpeg4Decoder& decoder, uint32_t index) {
  if (decoder.observation.observer == nullptr) return;
  MacroblockReport& report = *decoder.observation.report;
  report = MacroblockReport{};
  report.index = index;
  report.flags = kMbInter;
  report.quantiser = decoder.mb.quantiser;
  const MacroblockVectorRecord& record = decoder.motion.records[index];
  report.mode = record.mode;
  for (int b = 0; b < 4; ++b) {
    report.vectors[b][0] = record.vectors[b][0];
    report.vectors[b][1] = record.vectors[b][1];
  }
  decoder.observation.observer(decoder.observation.context, report);
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

// Top field vector in blocks 0-1, bottom field vector in blocks 2-3.
void SetFieldVectors(int32_t (&to)[4][2], const FieldVectors& v) {
  for (int b = 0; b < 4; ++b) {
    to[b][0] = v.fields[b >> 1].x;
    to[b][1] = v.fields[b >> 1].y;
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
  bool fieldPrediction = false;
  uint32_t selects[2][2] = {};  // [direction][field]
  if (decoder.stream.vol.interlaced != 0) {
    if (pattern != 0) decoder.mb.dctType = BitRead(reader, 1);
    if ((flags & kMbDirect) == 0 && BitRead(reader, 1) != 0) {
      fieldPrediction = true;
      for (int direction = 0; direction < 2; ++direction) {
        if ((flags & (direction == 0 ? kMbForward : kMbBackward)) == 0) continue;
        selects[direction][0] = BitRead(reader, 1);
        selects[direction][1] = BitRead(reader, 1);
      }
    }
  }
  if ((decoder.status | reader.status) != 0) {
    RestoreAndSkip(decoder, saved);
    return;
  }

  MacroblockReport* report = decoder.observation.observer != nullptr ? decoder.observation.report : nullptr;
  if (report != nullptr) *report = MacroblockReport{};
  if ((flags & kMbDirect) != 0) {
    const DirectVectors d = PredictDirect(motion, directWithoutDelta ? nullptr : &reader, column, row);
    if (report != nullptr) {
      report->mode = kVectorModeFour;
      CopyVectors(report->vectors, d.forward);
      CopyVectors(report->backward, d.backward);
    }
  } else if (fieldPrediction) {
    if (report != nullptr) {
      report->mode = kVectorModeField | (selects[0][0] << 3) | (selects[0][1] << 4) | (selects[1][0] << 5) |
                     (selects[1][1] << 6);
    }
    if ((flags & kMbForward) != 0) {
      const FieldVectors v = DecodeForwardFieldVectors(motion, reader, selects[0][0], selects[0][1], column, row);
      if (report != nullptr) SetFieldVectors(report->vectors, v);
    }
    if ((flags & kMbBackward) != 0) {
      const FieldVectors v =
          (flags & kMbForward) != 0
              ? DecodeBackwardFieldVectorsAveraged(motion, reader, selects[1][0], selects[1][1], column, row)
              : DecodeBackwardFieldVectors(motion, reader, selects[1][0], selects[1][1], column, row);
      if (report != nullptr) SetFieldVectors(report->backward, v);
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
  const bool sprite = type == kVopS;
  const bool predicted = type == kVopP || sprite;
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
    if (sprite) {
      // Predicted by the trajectory, and not skipped for the B-VOPs that
      // follow.
      const uint32_t column = uint32_t(decoder.grid.column[index]);
      decoder.grid.words[index] = 0;
      ResetMacroblockPredictors(*decoder.blockDecoder, column);
      decoder.status |= GmcPredict(decoder.motion, column, uint32_t(decoder.grid.row[index]));
      ReportPredictionOnly(decoder, index);
    } else {
      decoder.grid.words[index] = 1;
      ConcealMacroblock(decoder, index);
    }
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
  // mcsel: an inter macroblock of one vector predicted by the trajectory.
  const bool global = sprite && (decoder.mb.flags & kMbInter) != 0 && BitRead(reader, 1) != 0;
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
  bool fieldPrediction = false;
  uint32_t topSelect = 0, bottomSelect = 0;
  if (stream.vol.interlaced != 0) {
    if (intra || (pattern & kCodedBlocks) != 0) decoder.mb.dctType = BitRead(reader, 1);
    if ((decoder.mb.flags & kMbInter) != 0 && !global && BitRead(reader, 1) != 0) {
      fieldPrediction = true;
      topSelect = BitRead(reader, 1);
      bottomSelect = BitRead(reader, 1);
    }
  }
  if ((decoder.status | reader.status) != 0) {
    RestoreAndSkip(decoder, saved);
    return;
  }

  const uint32_t column = uint32_t(decoder.grid.column[index]);
  const uint32_t row = uint32_t(decoder.grid.row[index]);
  if (intra) {
    StoreZeroVectors(decoder.motion, column, row);
  } else if (global) {
    decoder.status |= GmcPredict(decoder.motion, column, row);
  } else if (fieldPrediction) {
    decoder.status |= DecodeFieldVectors(decoder.motion, reader, topSelect, bottomSelect, column, row);
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
    report->mode = record.mode;
    CopyVectors(report->vectors, record.vectors);
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

namespace {

// Applies dquant to the current quantiser; false (with 0x4 and quantiser
// 16) when the result leaves 1..31.
bool ApplyDquant(Mpeg4Decoder& decoder, BitReader& reader) {
  const int32_t quantiser = int32_t(decoder.mb.quantiser) + kDquant[BitRead(reader, 2)];
  if (quantiser < 1 || quantiser > 31) {
    decoder.status |= kStatusOutOfRange;
    decoder.mb.quantiser = 16;
    return false;
  }
  decoder.mb.quantiser = uint32_t(quantiser);
  return true;
}

// The running quantiser and the intra-DC switch after a macroblock's
// quantiser is known.
void UpdateRunningQuantiser(Mpeg4Decoder& decoder) {
  if (decoder.mb.runningQuantiser == 0) decoder.mb.runningQuantiser = decoder.mb.quantiser;
  UpdateIntraDcVlcSwitch(decoder);
  decoder.mb.runningQuantiser = decoder.mb.quantiser;
}

bool Failed(const Mpeg4Decoder& decoder) { return (decoder.status | decoder.reader.status) != 0; }

// The DC partition of an intra macroblock into its record, when its DC has
// its own code; directions cleared without AC prediction.
void DecodeRecordDc(Mpeg4Decoder& decoder, PartitionRecord& record, uint32_t column) {
  if (record.intraDcVlc == 0) return;
  decoder.status |= DecodeIntraDcPartition(*decoder.blockDecoder, decoder.reader, int32_t(record.quantiser), column,
                                           record.dc, record.direction, record.quantisedDc);
}

// Partition 1: macroblock types (and the DC part of I-VOPs, the vectors of
// P-VOPs) up to the marker. Returns the packet's macroblock count, or -1
// after an error.
int32_t DecodeFirstPartition(Mpeg4Decoder& decoder, bool predicted) {
  BitReader& reader = decoder.reader;
  const uint32_t marker = predicted ? kMotionMarker : kDcMarker;
  const uint32_t markerLength = predicted ? kMotionMarkerLength : kDcMarkerLength;
  const uint32_t start = decoder.mb.index;
  uint32_t count = 0;
  while ((BitWindow(reader) >> (32 - markerLength)) != marker) {
    if (BitAtEnd(reader)) {
      decoder.status |= kStatusMissingHeader;
      return -1;
    }
    const uint32_t index = start + count;
    const bool inside = index < decoder.grid.count;
    const uint32_t column = inside ? uint32_t(decoder.grid.column[index]) : 0;
    const uint32_t row = inside ? uint32_t(decoder.grid.row[index]) : 0;
    if (inside && column == 0) {
      if (predicted) {
        ResetMotionVectorPredictors(decoder.motion);
      } else {
        ResetDcPredictors(*decoder.blockDecoder);
      }
    }
    if (predicted && BitRead(reader, 1) != 0) {  // not_coded
      if (!inside) {
        decoder.status |= kStatusOutOfRange;
        return -1;
      }
      decoder.grid.info[index] = PartitionRecord{};
      decoder.grid.words[index] = 1;
      StoreZeroVectors(decoder.motion, column, row);
      ++count;
      continue;
    }
    DecodeMcbpc(decoder, reader);
    if (Failed(decoder)) return -1;
    if (decoder.mb.flags == 0) continue;  // stuffing
    if (!inside) {
      decoder.status |= kStatusOutOfRange;
      return -1;
    }
    PartitionRecord& record = decoder.grid.info[index];
    record = PartitionRecord{};
    record.flags = decoder.mb.flags;
    record.pattern = decoder.mb.codedBlockPattern & 0xC0u;
    decoder.grid.words[index] = 0;
    if (predicted) {
      if ((record.flags & kMbIntra) != 0) {
        StoreZeroVectors(decoder.motion, column, row);
      } else if ((record.flags & kMbInter4v) != 0) {
        VectorEntry blocks[4];
        DecodeFourVectorsPartitioned(decoder.motion, reader, column, row, blocks);
      } else {
        DecodeVectorPartitioned(decoder.motion, reader, column, row);
      }
      decoder.status |= decoder.motion.status;
    } else {
      if ((record.flags & kMbQuant) != 0 && !ApplyDquant(decoder, reader)) return -1;
      UpdateRunningQuantiser(decoder);
      record.quantiser = decoder.mb.quantiser;
      record.intraDcVlc = decoder.mb.intraDcVlc;
      DecodeRecordDc(decoder, record, column);
    }
    if (Failed(decoder)) return -1;
    ++count;
  }
  BitSkip(reader, markerLength);
  return int32_t(count);
}

// Partition 2: AC prediction flags and luma patterns (and for P-VOPs the
// quantisers and the DC part).
bool DecodeSecondPartition(Mpeg4Decoder& decoder, bool predicted, uint32_t count) {
  BitReader& reader = decoder.reader;
  for (uint32_t k = 0; k < count; ++k) {
    const uint32_t index = decoder.mb.index + k;
    const uint32_t column = uint32_t(decoder.grid.column[index]);
    PartitionRecord& record = decoder.grid.info[index];
    if (predicted && column == 0) ResetDcPredictors(*decoder.blockDecoder);
    if (record.flags == 0) {
      record.quantiser = decoder.mb.quantiser;
      ResetMacroblockPredictors(*decoder.blockDecoder, column);
      continue;
    }
    const bool intra = (record.flags & kMbIntra) != 0;
    if (intra) record.acPredFlag = BitRead(reader, 1);
    decoder.mb.flags = record.flags;
    decoder.mb.codedBlockPattern = record.pattern;
    DecodeCbpy(decoder, reader);
    record.pattern = decoder.mb.codedBlockPattern;
    if (predicted) {
      if ((record.flags & kMbQuant) != 0 && !ApplyDquant(decoder, reader)) return false;
      UpdateRunningQuantiser(decoder);
      record.quantiser = decoder.mb.quantiser;
      if (intra) {
        record.intraDcVlc = decoder.mb.intraDcVlc;
        DecodeRecordDc(decoder, record, column);
      } else {
        ResetMacroblockPredictors(*decoder.blockDecoder, column);
      }
    }
    if (intra && record.acPredFlag == 0 && record.intraDcVlc != 0) {
      std::fill(record.direction, record.direction + 6, uint8_t{0});
    }
    if (Failed(decoder)) return false;
  }
  return true;
}

// The prediction of an inter macroblock of a partitioned packet from the
// vectors its motion partition recorded.
void CompensateFromRecord(MotionVectorState& motion, uint32_t column, uint32_t row, uint32_t flags) {
  const MacroblockVectorRecord& record = motion.records[row * motion.columns + column];
  VectorEntry blocks[4];
  for (int b = 0; b < 4; ++b) blocks[b] = VectorEntry{record.vectors[b][0], record.vectors[b][1], 1, 0};
  if ((flags & kMbInter4v) != 0) {
    CompensateFourVectorsPartitioned(motion, column, row, blocks);
  } else {
    CompensateVectorPartitioned(motion, column, row, blocks[0]);
  }
}

// Partition 3: the texture, and the reconstruction of every macroblock.
bool DecodeThirdPartition(Mpeg4Decoder& decoder, uint32_t count) {
  BitReader& reader = decoder.reader;
  BlockDecoderState& blocks = *decoder.blockDecoder;
  MacroblockReport* report = decoder.observation.observer != nullptr ? decoder.observation.report : nullptr;
  for (uint32_t k = 0; k < count; ++k) {
    const uint32_t index = decoder.mb.index + k;
    const uint32_t column = uint32_t(decoder.grid.column[index]);
    const PartitionRecord& record = decoder.grid.info[index];
    if (column == 0) ResetDcPredictors(blocks);
    decoder.mb.quantiser = record.quantiser;
    if (record.flags == 0) {
      ConcealMacroblock(decoder, index);
      WriteQuantiserMap(decoder, index);
      continue;
    }
    if (report != nullptr) *report = MacroblockReport{};
    blocks.levelCapture = report != nullptr ? report->levels : nullptr;
    const bool intra = (record.flags & kMbIntra) != 0;
    const int32_t quantiser = int32_t(record.quantiser);
    if (!intra) CompensateFromRecord(decoder.motion, column, uint32_t(decoder.grid.row[index]), record.flags);
    if (intra && record.intraDcVlc != 0) {
      decoder.status |=
          DecodeIntraMacroblockPartitioned(blocks, reader, decoder.mb.blocks, decoder.mb.shapes, quantiser,
                                           record.pattern, record.dc, record.direction, record.quantisedDc, column);
    } else if (intra) {
      // The DC as the first event: decoded here, as in a combined packet.
      decoder.status |= DecodeIntraMacroblock(blocks, reader, decoder.mb.blocks, decoder.mb.shapes, quantiser,
                                              record.pattern, 0, record.acPredFlag, column);
    } else {
      decoder.status |= DecodeInterMacroblockPartitioned(blocks, reader, decoder.mb.blocks, decoder.mb.shapes,
                                                         quantiser, record.pattern, column);
    }
    if (Failed(decoder)) return false;
    if (report != nullptr) {
      report->index = index;
      report->flags = record.flags;
      report->codedBlockPattern = record.pattern;
      report->quantiser = record.quantiser;
      report->mode = decoder.motion.records[index].mode;
      CopyVectors(report->vectors, decoder.motion.records[index].vectors);
      decoder.observation.observer(decoder.observation.context, *report);
    }
    const int x = int(column * 16);
    const int y = decoder.grid.row[index] * 16;
    if (intra) {
      decoder.refs.current->PutIntraMacroblock(decoder.dsp.block, decoder.mb.blocks, x, y, 0, decoder.mb.shapes);
    } else {
      decoder.refs.current->AddInterMacroblock(decoder.dsp.block, decoder.mb.blocks, x, y, 0, record.pattern,
                                               decoder.mb.shapes);
    }
    WriteQuantiserMap(decoder, index);
  }
  return true;
}

}  // namespace

void DecodeVopPartitioned(Mpeg4Decoder& decoder) {
  BitReader& reader = decoder.reader;
  const BitReader saved = reader;
  const bool predicted = decoder.stream.vop.codingType == kVopP;
  const int32_t count = DecodeFirstPartition(decoder, predicted);
  if (count < 0 || !DecodeSecondPartition(decoder, predicted, uint32_t(count)) ||
      !DecodeThirdPartition(decoder, uint32_t(count))) {
    RestoreAndSkip(decoder, saved);
    return;
  }
  if (BitNextIsResyncMarker(reader, decoder.stream.resyncMarkerLength - 1) != 0) {
    decoder.status |= kStatusMissingHeader;
    RestoreAndSkip(decoder, saved);
    return;
  }
  decoder.mb.index += uint32_t(count);
}

}  // namespace tlx::mpeg4

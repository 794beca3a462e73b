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
  StoreZeroVectors(decoder.motion, column, row);
  ResetMacroblockPredictors(*decoder.blockDecoder, column);
  decoder.refs.current->CopyMacroblock(decoder.dsp.prediction, *decoder.refs.past, int(column * 16), int(row * 16));
}

void DecodeMacroblocksCombined(Mpeg4Decoder& decoder) {
  BitReader& reader = decoder.reader;
  const StreamState& stream = decoder.stream;
  const bool predicted = stream.vop.codingType == kVopP;
  // Sprite and bidirectional macroblocks, quarter-sample vectors and
  // short-header pictures are not decoded by this core.
  if ((stream.vop.codingType != kVopI && !predicted) || stream.shortHeaderMode != 0 ||
      (predicted && stream.vol.quarterSample != 0)) {
    decoder.status |= kStatusUnsupported;
    return;
  }
  const BitReader saved = reader;
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
  if (predicted) decoder.grid.words[index] = 0;
  const bool intra = (decoder.mb.flags & kMbIntra) != 0;
  decoder.mb.acPredFlag = intra ? BitRead(reader, 1) : 0;
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
  UpdateIntraDcVlcSwitch(decoder);
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
  if (intra) {
    decoder.status |= DecodeIntraMacroblock(*decoder.blockDecoder, reader, decoder.mb.blocks, decoder.mb.shapes,
                                            quantiser, pattern, decoder.mb.intraDcVlc, decoder.mb.acPredFlag, column);
  } else {
    decoder.status |= DecodeInterMacroblock(*decoder.blockDecoder, reader, decoder.mb.blocks, decoder.mb.shapes,
                                            quantiser, pattern, column);
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

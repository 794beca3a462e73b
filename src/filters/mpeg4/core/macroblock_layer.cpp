#include "macroblock_layer.h"

#include <cstring>

#include "block/block_decoder_state.h"
#include "block/block_decoding.h"
#include "macroblock_header.h"
#include "start_codes.h"

namespace tlx::mpeg4 {
namespace {

constexpr int32_t kDquant[4] = {-1, -2, 1, 2};

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
  ResetMacroblockPredictors(*decoder.blockDecoder, column);
  decoder.refs.current->CopyMacroblock(decoder.dsp.prediction, *decoder.refs.past, int(column * 16),
                                       decoder.grid.row[index] * 16);
}

void DecodeMacroblocksCombined(Mpeg4Decoder& decoder) {
  BitReader& reader = decoder.reader;
  // Predicted, sprite and bidirectional macroblocks and short-header
  // pictures are not decoded by this core.
  if (decoder.stream.vop.codingType != kVopI || decoder.stream.shortHeaderMode != 0) {
    decoder.status |= kStatusUnsupported;
    return;
  }
  const BitReader saved = reader;
  const uint32_t index = decoder.mb.index;
  if (index < decoder.grid.count && decoder.grid.column[index] == 0) ResetDcPredictors(*decoder.blockDecoder);

  DecodeMcbpc(decoder, reader);
  if ((decoder.status | reader.status) != 0) {
    RestoreAndSkip(decoder, saved);
    return;
  }
  if (decoder.mb.flags == 0) return;  // stuffing: the driver calls again
  if (index >= decoder.grid.count) {
    decoder.status |= kStatusOutOfRange;
    RestoreAndSkip(decoder, saved);
    return;
  }
  decoder.mb.acPredFlag = BitRead(reader, 1);
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
  decoder.mb.dctType = decoder.stream.vol.interlaced != 0 ? BitRead(reader, 1) : 0;

  const uint32_t column = uint32_t(decoder.grid.column[index]);
  MacroblockReport* report = decoder.observation.observer != nullptr ? decoder.observation.report : nullptr;
  if (report != nullptr) *report = MacroblockReport{};
  decoder.blockDecoder->levelCapture = report != nullptr ? report->levels : nullptr;
  decoder.status |= DecodeIntraMacroblock(*decoder.blockDecoder, reader, decoder.mb.blocks, decoder.mb.shapes,
                                          int32_t(decoder.mb.quantiser), decoder.mb.codedBlockPattern,
                                          decoder.mb.intraDcVlc, decoder.mb.acPredFlag, column);
  if ((decoder.status | reader.status) != 0) {
    RestoreAndSkip(decoder, saved);
    return;
  }
  if (report != nullptr) {
    report->index = index;
    report->flags = decoder.mb.flags;
    report->codedBlockPattern = decoder.mb.codedBlockPattern;
    report->quantiser = decoder.mb.quantiser;
    decoder.observation.observer(decoder.observation.context, *report);
  }
  decoder.refs.current->PutIntraMacroblock(decoder.dsp.block, decoder.mb.blocks, int(column * 16),
                                           decoder.grid.row[index] * 16, int(decoder.mb.dctType), decoder.mb.shapes);
  WriteQuantiserMap(decoder, index);
  decoder.mb.index = index + 1;
}

}  // namespace tlx::mpeg4

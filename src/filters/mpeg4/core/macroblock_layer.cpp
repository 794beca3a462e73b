// The macroblock layer of combined (not data-partitioned) video packets.
#include <cstring>

#include "block_decoder_state.h"
#include "block_decoding.h"
#include "macroblock_header.h"
#include "mpeg4_decoder.h"

namespace tlx::mpeg4 {
namespace {

constexpr int32_t kDquant[4] = {-1, -2, 1, 2};

// Abandons the macroblock: back to its start, on to the next resync point.
// An overrun of the reader stays in the instance status. The coefficient
// blocks are cleared, since no reconstruction consumes them.
void RestoreAndSkip(Mpeg4Decoder& decoder, const BitReader& saved) {
  decoder.status |= decoder.reader.status;
  decoder.reader = saved;
  std::memset(decoder.blocks, 0, sizeof(decoder.blocks));
  BitSkipToResync(decoder.reader, decoder.resyncMarkerLength);
}

void WriteQuantiserMap(Mpeg4Decoder& decoder, uint32_t index) {
  const uint32_t position = uint32_t(decoder.mbRow[index]) * decoder.mbColumns + uint32_t(decoder.mbColumn[index]);
  if (position < decoder.current->quantiserMapSize) {
    decoder.current->quantiserMap[position] = static_cast<uint8_t>(decoder.quantiser);
  }
}

}  // namespace

void ConcealMacroblock(Mpeg4Decoder& decoder, uint32_t index) {
  const uint32_t column = uint32_t(decoder.mbColumn[index]);
  ResetMacroblockPredictors(*decoder.blockDecoder, column);
  decoder.current->CopyMacroblock(*decoder.pastReference, int(column * 16), decoder.mbRow[index] * 16);
}

void DecodeMacroblocksCombined(Mpeg4Decoder& decoder) {
  BitReader& reader = decoder.reader;
  // Predicted, sprite and bidirectional macroblocks and short-header
  // pictures are not decoded by this core.
  if (decoder.vop.codingType != kVopI || decoder.shortHeaderMode != 0) {
    decoder.status |= kStatusUnsupported;
    return;
  }
  const BitReader saved = reader;
  const uint32_t index = decoder.mbIndex;
  if (index < decoder.mbCount && decoder.mbColumn[index] == 0) ResetDcPredictors(*decoder.blockDecoder);

  DecodeMcbpc(decoder, reader);
  if ((decoder.status | reader.status) != 0) {
    RestoreAndSkip(decoder, saved);
    return;
  }
  if (decoder.macroblockFlags == 0) return;  // stuffing: the driver calls again
  if (index >= decoder.mbCount) {
    decoder.status |= kStatusOutOfRange;
    RestoreAndSkip(decoder, saved);
    return;
  }
  decoder.acPredFlag = BitRead(reader, 1);
  DecodeCbpy(decoder, reader);
  if ((decoder.macroblockFlags & kMbQuant) != 0) {
    const int32_t quantiser = int32_t(decoder.quantiser) + kDquant[BitRead(reader, 2)];
    if (quantiser < 1 || quantiser > 31) {
      decoder.status |= kStatusOutOfRange;
      decoder.quantiser = 16;
    } else {
      decoder.quantiser = uint32_t(quantiser);
    }
  }
  if (decoder.runningQuantiser == 0) decoder.runningQuantiser = decoder.quantiser;
  UpdateIntraDcVlcSwitch(decoder);
  decoder.runningQuantiser = decoder.quantiser;
  decoder.dctType = decoder.vol.interlaced != 0 ? BitRead(reader, 1) : 0;

  const uint32_t column = uint32_t(decoder.mbColumn[index]);
  MacroblockReport* report = decoder.observer != nullptr ? decoder.report : nullptr;
  if (report != nullptr) *report = MacroblockReport{};
  decoder.blockDecoder->levelCapture = report != nullptr ? report->levels : nullptr;
  decoder.status |= DecodeIntraMacroblock(*decoder.blockDecoder, reader, decoder.blocks, decoder.shapes,
                                          int32_t(decoder.quantiser), decoder.codedBlockPattern, decoder.intraDcVlc,
                                          decoder.acPredFlag, column);
  if ((decoder.status | reader.status) != 0) {
    RestoreAndSkip(decoder, saved);
    return;
  }
  if (report != nullptr) {
    report->index = index;
    report->flags = decoder.macroblockFlags;
    report->codedBlockPattern = decoder.codedBlockPattern;
    report->quantiser = decoder.quantiser;
    decoder.observer(decoder.observerContext, *report);
  }
  decoder.current->PutIntraMacroblock(decoder.blocks, int(column * 16), decoder.mbRow[index] * 16,
                                      int(decoder.dctType), decoder.shapes);
  WriteQuantiserMap(decoder, index);
  decoder.mbIndex = index + 1;
}

}  // namespace tlx::mpeg4

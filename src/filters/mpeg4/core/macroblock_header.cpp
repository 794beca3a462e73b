#include "macroblock_header.h"

#include "coefficient_tables.h"

namespace tlx::mpeg4 {
namespace {

constexpr auto kIntraMcbpcLookup = BuildCodeLookup<6>(kIntraMcbpc);
constexpr auto kCbpyLookup = BuildCodeLookup<6>(kCbpy);

}  // namespace

void DecodeMcbpc(Mpeg4Decoder& decoder, BitReader& reader) {
  if ((reader.window >> (32 - kMcbpcStuffing.length)) == kMcbpcStuffing.code) {
    BitSkip(reader, kMcbpcStuffing.length);
    decoder.macroblockFlags = 0;
    return;
  }
  if (decoder.vop.codingType != kVopI) {
    decoder.status |= kStatusUnsupported;
    return;
  }
  const uint8_t i = kIntraMcbpcLookup.index[reader.window >> 26];
  if (i == kNoCode) {
    decoder.status |= kStatusInvalidCode;
    return;
  }
  const ValueCode& c = kIntraMcbpc[i];
  BitSkip(reader, c.length);
  decoder.macroblockFlags = c.value >> 2;
  decoder.chromaPattern = c.value & 3;
  decoder.codedBlockPattern = (decoder.codedBlockPattern & ~0xC0u) | (decoder.chromaPattern << 6);
}

void DecodeCbpy(Mpeg4Decoder& decoder, BitReader& reader) {
  const uint8_t i = kCbpyLookup.index[reader.window >> 26];
  if (i == kNoCode) {
    decoder.status |= kStatusInvalidCode;
    return;
  }
  const ValueCode& c = kCbpy[i];
  BitSkip(reader, c.length);
  const uint32_t pattern = (decoder.macroblockFlags & kMbIntra) ? c.value : c.value ^ 15u;
  decoder.codedBlockPattern = (decoder.codedBlockPattern & ~0xF00u) | (pattern << 8);
}

}  // namespace tlx::mpeg4

#include "macroblock_header.h"

#include "block/coefficient_tables.h"

namespace tlx::mpeg4 {
namespace {

constexpr auto kIntraMcbpcLookup = BuildCodeLookup<6>(kIntraMcbpc);
constexpr auto kCbpyLookup = BuildCodeLookup<6>(kCbpy);

}  // namespace

void DecodeMcbpc(Mpeg4Decoder& decoder, BitReader& reader) {
  if ((reader.window >> (32 - kMcbpcStuffing.length)) == kMcbpcStuffing.code) {
    BitSkip(reader, kMcbpcStuffing.length);
    decoder.mb.flags = 0;
    return;
  }
  if (decoder.stream.vop.codingType != kVopI) {
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
  decoder.mb.flags = c.value >> 2;
  decoder.mb.chromaPattern = c.value & 3;
  decoder.mb.codedBlockPattern = (decoder.mb.codedBlockPattern & ~0xC0u) | (decoder.mb.chromaPattern << 6);
}

void DecodeCbpy(Mpeg4Decoder& decoder, BitReader& reader) {
  const uint8_t i = kCbpyLookup.index[reader.window >> 26];
  if (i == kNoCode) {
    decoder.status |= kStatusInvalidCode;
    return;
  }
  const ValueCode& c = kCbpy[i];
  BitSkip(reader, c.length);
  const uint32_t pattern = (decoder.mb.flags & kMbIntra) ? c.value : c.value ^ 15u;
  decoder.mb.codedBlockPattern = (decoder.mb.codedBlockPattern & ~0xF00u) | (pattern << 8);
}

}  // namespace tlx::mpeg4

#include "filters/mpeg4/core/macroblock_header.h"

#include "filters/mpeg4/core/block/coefficient_tables.h"
#include "filters/mpeg4/core/mpeg4_decoder.h"

namespace tlx::mpeg4 {
namespace {

constexpr auto kIntraMcbpcLookup = BuildCodeLookup<6>(kIntraMcbpc);
constexpr auto kInterMcbpcLookup = BuildCodeLookup<9>(kInterMcbpc);
constexpr auto kCbpyLookup = BuildCodeLookup<6>(kCbpy);

}  // namespace

void DecodeMcbpc(Mpeg4Decoder& decoder, BitReader& reader) {
  if ((BitWindow(reader) >> (32 - kMcbpcStuffing.length)) == kMcbpcStuffing.code) {
    BitSkip(reader, kMcbpcStuffing.length);
    decoder.mb.flags = 0;
    return;
  }
  const uint32_t type = decoder.stream.vop.codingType;
  const bool gmc = type == kVopS && decoder.stream.vol.spriteEnable == kSpriteGmc;
  if (type != kVopI && type != kVopP && !gmc) {
    decoder.status |= kStatusUnsupported;
    return;
  }
  const bool intra = type == kVopI;
  const uint8_t i = intra ? kIntraMcbpcLookup.index[BitWindow(reader) >> 26] : kInterMcbpcLookup.index[BitWindow(reader) >> 23];
  if (i == kNoCode) {
    decoder.status |= kStatusInvalidCode;
    return;
  }
  const ValueCode& c = intra ? kIntraMcbpc[i] : kInterMcbpc[i];
  BitSkip(reader, c.length);
  decoder.mb.flags = c.value >> 2;
  decoder.mb.chromaPattern = c.value & 3;
  decoder.mb.codedBlockPattern = (decoder.mb.codedBlockPattern & ~0xC0u) | (decoder.mb.chromaPattern << 6);
}

void DecodeCbpy(Mpeg4Decoder& decoder, BitReader& reader) {
  const uint8_t i = kCbpyLookup.index[BitWindow(reader) >> 26];
  if (i == kNoCode) {
    decoder.status |= kStatusInvalidCode;
    return;
  }
  const ValueCode& c = kCbpy[i];
  BitSkip(reader, c.length);
  const uint32_t pattern = (decoder.mb.flags & kMbIntra) ? c.value : c.value ^ 15u;
  decoder.mb.codedBlockPattern = (decoder.mb.codedBlockPattern & ~0xF00u) | (pattern << 8);
}

void DecodeBMacroblockType(Mpeg4Decoder& decoder, BitReader& reader) {
  static constexpr uint32_t kTypes[4] = {kMbDirect, kMbForward | kMbBackward | kMbQuant, kMbBackward | kMbQuant,
                                         kMbForward | kMbQuant};
  const uint32_t window = BitWindow(reader) >> 28;
  if (window == 0) {
    decoder.status |= kStatusInvalidCode;
    return;
  }
  const uint32_t zeros = uint32_t(__builtin_clz(window)) - 28;
  BitSkip(reader, zeros + 1);
  decoder.mb.flags = kTypes[zeros];
}

void DecodeCbpb(Mpeg4Decoder& decoder, BitReader& reader) { decoder.mb.codedBlockPattern = BitRead(reader, 6) << 6; }

}  // namespace tlx::mpeg4

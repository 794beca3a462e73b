#include "engine/codec_choice.h"

#include "engine/filter_tables.h"

namespace tlx::engine {

namespace {

int Usable(int baseMask, int engineMask, bool avcAllowed) {
  int usable = baseMask & engineMask;
  if (!avcAllowed) usable &= ~kCodecAvcBit;
  return usable;
}

}  // namespace

int FavorableCodec(int baseMask, int engineMask, bool avcAllowed) {
  const int usable = Usable(baseMask, engineMask, avcAllowed);
  for (int bit = 0x4000; bit != 0; bit >>= 1) {
    if ((usable & bit) != 0) return bit;
  }
  return 0;
}

bool IsCodecAvail(int codec, int baseMask, int engineMask, bool avcAllowed) {
  return (codec & Usable(baseMask, engineMask, avcAllowed)) != 0;
}

int FindProperVideoFilter(int favorableCodec) {
  for (int row = 0; kVideoDecoderTable[row].m_pszName != nullptr; ++row) {
    if ((kVideoDecoderTable[row].m_nCodec & favorableCodec) != 0) return row;
  }
  return -1;
}

}  // namespace tlx::engine

// The video decoder the live graph uses: the codec both the base station and
// the engine can handle, and the first video-decoder row that decodes it.
#pragma once

namespace tlx::engine {

inline constexpr int kCodecAvcBit = 0x0004;

// The highest bit from 1 up to 16384 set in both masks, without the AVC bit
// when AVC is not allowed; 0 when there is none.
int FavorableCodec(int baseMask, int engineMask, bool avcAllowed);
// The codec's bits are in both masks (without AVC when it is not allowed).
bool IsCodecAvail(int codec, int baseMask, int engineMask, bool avcAllowed);
// The index of the first video-decoder row whose mask shares a bit with the
// codec; -1 when none does.
int FindProperVideoFilter(int favorableCodec);

}  // namespace tlx::engine

// Alignment of text drawn into a rectangle. The horizontal position is read
// from the low three bits (exactly CMNPOS_LEFT: left, exactly CMNPOS_RIGHT:
// right, anything else centred), the vertical one from the next three
// (exactly CMNPOS_TOP: top, exactly CMNPOS_BOTTOM: bottom, anything else
// middle).
#pragma once

#include "win32/types.h"

inline constexpr UINT CMNPOS_LEFT = 0x01;
inline constexpr UINT CMNPOS_HCENTER = 0x02;
inline constexpr UINT CMNPOS_RIGHT = 0x04;
inline constexpr UINT CMNPOS_TOP = 0x08;
inline constexpr UINT CMNPOS_VCENTER = 0x10;
inline constexpr UINT CMNPOS_BOTTOM = 0x20;

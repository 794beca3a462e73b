// The media subtypes of the stream source's pins, which the decoders, the
// MP4 file source and the stream engine take. MEDIASUBTYPE_TlxAAC and
// MEDIASUBTYPE_TlxAVC come from the filter layer's table.
#pragma once

#include "dshow/guids.h"

// Raw AAC access units under the wave-format tag 0x00FF.
TLX_GUID(MEDIASUBTYPE_RAW_AAC1, 0x000000FF, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71);
// MPEG-4 visual elementary stream ('mp4v'), and the player's own name for it.
TLX_GUID(MEDIASUBTYPE_mp4v, 0x7634706D, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71);
TLX_GUID(MEDIASUBTYPE_TlxMP4V, 0x6522179E, 0x46ED, 0x4594, 0xBC, 0x47, 0x64, 0x66, 0xD9, 0x6D, 0x0D, 0x97);

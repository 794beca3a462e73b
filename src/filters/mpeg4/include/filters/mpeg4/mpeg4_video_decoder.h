// What the stream engine needs to create and find the MPEG-4 video decoder
// filter of the module tlxm4vdec.ax.
#pragma once

#include "dshow/guids.h"

// {410FEDCF-561F-41EE-843A-47DDEB35632C}
TLX_GUID(CLSID_Mpeg4VideoDecoder, 0x410FEDCF, 0x561F, 0x41EE, 0x84, 0x3A, 0x47, 0xDD, 0xEB, 0x35, 0x63, 0x2C);

// The module's file name, and the filter's name in the filter category.
inline constexpr char kMpeg4VideoDecoderModule[] = "tlxm4vdec.ax";
inline constexpr char16_t kMpeg4VideoDecoderName[] = u"Marovi MPEG4 Video Decoder for TLX";

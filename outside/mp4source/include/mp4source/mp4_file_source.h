// The MP4 file source filter: plays the first video and the first audio
// stream of a local MP4 file through IFileSourceFilter::Load. Output pin 1
// carries the video (H.264 as MEDIASUBTYPE_TlxAVC), the next the audio
// (AAC-LC as MEDIASUBTYPE_TlxAAC), each only when the file has it; other
// codecs are offered under subtypes made from their codec tags. Each pin
// reads its stream on its own thread through its own demuxer context, and
// the filter seeks both through IMediaSeeking.
#pragma once

#include "com/unknown_base.h"

namespace tlx::mp4source {

// {F3D46A59-BF90-49E4-B1D7-2BFEB3140F0A}
inline constexpr CLSID CLSID_TlxMp4FileSource{0xF3D46A59, 0xBF90, 0x49E4,
                                              {0xB1, 0xD7, 0x2B, 0xFE, 0xB3, 0x14, 0x0F, 0x0A}};
inline constexpr const char16_t* kMp4FileSourceName = u"Marovi MP4 File Source for TLX";

CUnknown* CreateMp4FileSource(IUnknown* outer, HRESULT* hr);

}  // namespace tlx::mp4source

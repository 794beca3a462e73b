// The rows of the filters the stream objects build their graphs from. The
// classes and private interfaces come from the filters' own headers.
#pragma once

#include "aac/aac_dec.h"
#include "engine/tlx_pc_stm_com_loader.h"
#include "filters/avc/avc_dec_mode.h"
#include "mp4source/mp4_file_source.h"

namespace tlx::engine {

// The file class's filters.
inline constexpr CFilterParam kFileSourceRow{u"Marovi MP4 File Source for TLX", mp4source::CLSID_TlxMp4FileSource,
                                             u"MP4FileSourceTLX.ax", 0};
inline constexpr CFilterParam kFileVideoDecoderRow{u"Marovi AVC Decoder for TLX", CLSID_AvcDecFilter,
                                                   u"tlxavcdec.ax", 0};
inline constexpr CFilterParam kFileAudioDecoderRow{u"Marovi MPEG4 AAC Decoder for TLX", CLSID_AacDecFilter,
                                                   u"tlxaacdec.ax", 0};

}  // namespace tlx::engine

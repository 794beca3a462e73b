// The rows of the filters the stream objects build their graphs from. The
// classes and private interfaces come from the filters' own headers.
#pragma once

#include "engine/tlx_pc_stm_com_loader.h"
#include "filters/aac/aac_dec.h"
#include "filters/aes_decryptor/aes_decryptor_key.h"
#include "filters/audio_renderer/ravix_audio_renderer_control.h"
#include "filters/avc/avc_dec_mode.h"
#include "filters/mpeg4/mpeg4_video_decoder.h"
#include "filters/streaming_client/tlx_stream_source_control.h"
#include "mp4source/mp4_file_source.h"

namespace tlx::engine {

// The live class's video decoders, ending with a row whose name is null.
// Row 0 names a filter outside the system; the index of the chosen row also
// selects the row of the source and audio-decoder tables.
inline constexpr int kVideoDecoderRows = 3;
inline constexpr CFilterParam kVideoDecoderTable[kVideoDecoderRows + 1] = {
    {u"3ivx D4 Video Decoder", GUID{}, u"", 0x6000},
    {u"Marovi MPEG4 Video Decoder for TLX", CLSID_Mpeg4VideoDecoder, u"tlxm4vdec.ax", 0x1001},
    {u"Marovi AVC Decoder for TLX", CLSID_AvcDecFilter, u"tlxavcdec.ax", 0x0004},
    {nullptr, GUID{}, nullptr, 0},
};
// The codecs the engine can decode: every video-decoder row's mask.
inline constexpr int kEngineCodecMask = [] {
  int mask = 0;
  for (const CFilterParam& row : kVideoDecoderTable) mask |= row.m_nCodec;
  return mask;
}();
static_assert(kEngineCodecMask == 0x7005);

// The live class's source and audio decoder, one row per video-decoder row.
inline constexpr CFilterParam kStreamSourceTable[kVideoDecoderRows] = {
    {u"TLX Streaming Client", CLSID_TlxStreamingClient, u"TlxStreamingClient.ax", 0},
    {u"TLX Streaming Client", CLSID_TlxStreamingClient, u"TlxStreamingClient.ax", 0},
    {u"TLX Streaming Client", CLSID_TlxStreamingClient, u"TlxStreamingClient.ax", 0},
};
inline constexpr CFilterParam kAudioDecoderTable[kVideoDecoderRows] = {
    {u"Marovi MPEG4 AAC Decoder for TLX", CLSID_AacDecFilter, u"TLXAACDEC.ax", 0},
    {u"Marovi MPEG4 AAC Decoder for TLX", CLSID_AacDecFilter, u"TLXAACDEC.ax", 0},
    {u"Marovi MPEG4 AAC Decoder for TLX", CLSID_AacDecFilter, u"TLXAACDEC.ax", 0},
};
// Both decryptors of the live graph are made from this row.
inline constexpr CFilterParam kDecryptorRow{u"AES Decryption", CLSID_AESDecryptor, u"TlxAESDecryptor.ax", 0};
inline constexpr CFilterParam kAudioRendererRow{u"Ravix Audio Renderer", CLSID_RavixDSAudRenderer,
                                                u"RavixDSAudRenderer.ax", 0};
// Post filters (outside the system), inserted only when "PostFilter" names
// one; ends with a row whose name is null.
inline constexpr CFilterParam kPostFilterTable[] = {
    {u"TLX Post Filter",
     GUID{0x37A9F062, 0xE114, 0x436B, {0x82, 0xBE, 0x03, 0xC1, 0x02, 0x27, 0x7D, 0x54}},
     u"TlxPostFilter.ax", 0},
    {u"TLX AVCPost Filter",
     GUID{0x520BAEA7, 0x0AD9, 0x4DFB, {0xAF, 0x5C, 0x29, 0xB6, 0x6B, 0x33, 0x85, 0xF7}},
     u"TlxAVCPostFilter.ax", 0},
    {nullptr, GUID{}, nullptr, 0},
};

// The file class's filters.
inline constexpr CFilterParam kFileSourceRow{u"Marovi MP4 File Source for TLX", mp4source::CLSID_TlxMp4FileSource,
                                             u"MP4FileSourceTLX.ax", 0};
inline constexpr CFilterParam kFileVideoDecoderRow{u"Marovi AVC Decoder for TLX", CLSID_AvcDecFilter,
                                                   u"tlxavcdec.ax", 0};
inline constexpr CFilterParam kFileAudioDecoderRow{u"Marovi MPEG4 AAC Decoder for TLX", CLSID_AacDecFilter,
                                                   u"tlxaacdec.ax", 0};

}  // namespace tlx::engine

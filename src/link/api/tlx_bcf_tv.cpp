// Exports of the TV manager.
#include "link/control/tv_mgr.h"
#include "link/os/tlx_log.h"
#include "link/tlx_bcf.h"

static_assert(TLX_AUTOPRESET_RESULT_SIZE == tlx::link::kPresetTableSize);

TLX_BCF_API int tlxTvMgr_Select(int input, int channel) { return tlx::link::tlxTvMgr_Select(input, channel); }

TLX_BCF_API int tlxTvMgr_SelectEx(int input, int mode, int channel, int p4, int p5) {
  return tlx::link::tlxTvMgr_SelectEx(input, mode, channel, p4, p5);
}

TLX_BCF_API int tlxTvMgr_SetPictureCtrl(int v1, int v2, int v3, int v4, int v5) {
  return tlx::link::tlxTvMgr_SetPictureCtrl(v1, v2, v3, v4, v5);
}

TLX_BCF_API int tlxTvMgr_SetPictureCtrlOffline(int v1, int v2, int v3, int v4, int v5) {
  return tlx::link::tlxTvMgr_SetPictureCtrlOffline(v1, v2, v3, v4, v5);
}

TLX_BCF_API int tlxTvMgr_GetAudioBli() { return tlx::link::tlxTvMgr_GetAudioBli(); }

TLX_BCF_API int tlxTvMgr_ChangeAudioBli() { return tlx::link::tlxTvMgr_ChangeAudioBli(); }

TLX_BCF_API int tlxTvMgr_Stop() { return tlx::link::tlxTvMgr_Stop(); }

TLX_BCF_API int tlxTvMgr_SetTVParams(int kind, const char* text) { return tlx::link::tlxTvMgr_SetTVParams(kind, text); }

TLX_BCF_API int tlxTvMgr_GetVideoIn() {
  tlx::link::tlxLog("[API] TvMgr_GetVideoIn\n");
  return tlx::link::tlxTvMgr_GetVideoIn();
}

TLX_BCF_API int tlxTvMgr_StartAutoPreset(int band) { return tlx::link::tlxTvMgr_StartAutoPreset(band); }

TLX_BCF_API int tlxTvMgr_CancelAutoPreset() {
  tlx::link::tlxLog("[API] TvMgr_CancelAutoPreset\n");
  return tlx::link::tlxTvMgr_CancelAutoPreset();
}

TLX_BCF_API int tlxTvMgr_FinishAutoPreset() {
  tlx::link::tlxLog("[API] TvMgr_FinishAutoPreset\n");
  return tlx::link::tlxTvMgr_FinishAutoPreset();
}

TLX_BCF_API int tlxTvMgr_GetAutoPresetResult(int band, unsigned* out) {
  // The caller's buffer holds TLX_AUTOPRESET_RESULT_SIZE bytes, one a channel.
  return tlx::link::tlxTvMgr_GetAutoPresetResult(band, reinterpret_cast<uint8_t*>(out));
}

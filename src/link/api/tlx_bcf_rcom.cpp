// Exports of the remote-commander manager; both send exports mirror the
// command first.
#include "link/config/regist_values.h"
#include "link/control/command_mirror.h"
#include "link/control/uircom_mgr.h"
#include "link/tlx_bcf.h"

static_assert(tlx::link::kRcomConfigBlockSize == tlx::link::kRcomConfigBlock);

TLX_BCF_API int tlxUiRcomMgr_StartLearning(TLX_UIRCOM_CALLBACK callback, int flags, intptr_t user) {
  return tlx::link::tlxUiRcomMgr_StartLearning(callback, flags, user);
}

TLX_BCF_API int tlxUiRcomMgr_StopLearning(int wait) { return tlx::link::tlxUiRcomMgr_StopLearning(wait); }

TLX_BCF_API int tlxUiRcomMgr_StartCapture() { return tlx::link::tlxUiRcomMgr_StartCapture(); }

TLX_BCF_API int tlxUiRcomMgr_StopCapture() { return tlx::link::tlxUiRcomMgr_StopCapture(); }

TLX_BCF_API int tlxUiRcomMgr_GetParameter(int id, char* out, int outLen) {
  return tlx::link::tlxUiRcomMgr_GetParameter(id, out, outLen);
}

TLX_BCF_API int tlxUiRcomMgr_SendCommand(int cmdId, const char* data, int len) {
  tlx::link::tlxCommandMirror(cmdId, data, len);
  return tlx::link::tlxUiRcomMgr_SendCommand(cmdId, reinterpret_cast<const uint8_t*>(data), len);
}

TLX_BCF_API int tlxUiRcomMgrSend(const unsigned char* data, int len) {
  tlx::link::tlxCommandMirror(tlx::link::kRcomShort, data, len);
  return tlx::link::tlxUiRcomMgrSend(data, len);
}

TLX_BCF_API int tlxUiRcomMgr_SetConfig(const UIRCOM_CONFIG* config) {
  if (config == nullptr) return -1;
  uint8_t block[tlx::link::kRcomConfigBlockSize];
  tlx::link::tlxRcomPackConfig(*config, block);
  return tlx::link::UiRcomMgr_SetConfig(block);
}

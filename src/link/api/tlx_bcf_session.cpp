// Exports of the stream-session manager and the configuration store.
#include <algorithm>
#include <cstring>
#include <string>

#include "link/config/tlx_auth_fns.h"
#include "link/config/tlx_cfg.h"
#include "link/control/ravix_mgr.h"
#include "link/tlx_bcf.h"

TLX_BCF_API int tlxRavixMgr_ChangeState(int state) { return tlx::link::tlxRavixMgr_ChangeState(state); }

TLX_BCF_API int tlxRavixMgr_GetState() { return tlx::link::tlxRavixMgr_GetState(); }

TLX_BCF_API int tlxRavixMgr_SetBitrate(int bitrate, int* out) { return tlx::link::tlxRavixMgr_SetBitrate(bitrate, out); }

TLX_BCF_API int tlxRavixMgr_GetBitrate() { return tlx::link::tlxRavixMgr_GetBitrate(); }

TLX_BCF_API int tlxRavixMgr_SetTimeout(int seconds) { return tlx::link::tlxRavixMgr_SetTimeout(seconds); }

TLX_BCF_API int tlxRavixMgr_GetTimeout() { return tlx::link::tlxRavixMgr_GetTimeout(); }

TLX_BCF_API int tlxRavixKeepAliveMsg_Send() { return tlx::link::tlxRavixKeepAliveMsg_Send(); }

TLX_BCF_API int tlxRavixMgr_GetBaseInfo(TLX_BASE_INFO* out) {
  using namespace tlx::link;
  if (out == nullptr || tlx::link::tlxRavixMgr_GetState() == kRavixIdle) return -1;
  *out = TLX_BASE_INFO{};
  const std::string id = tlxAuthGetBaseId();
  std::memcpy(out->baseId, id.data(), std::min(id.size(), sizeof out->baseId - 1));
  // A type outside 0..2 is type 3 or an error; both stream as type 3.
  const int type = tlxAuthGetBaseType();
  const bool type3 = type < 0 || type > 2;
  out->type3 = type3 ? 1 : 0;
  const uint32_t codec = tlxAuthGetCodecType();
  out->codec = codec != 0 ? static_cast<int32_t>(codec) : (type3 ? 3 : 1);
  out->scaling = tlxAuthGetScalingMode();
  return 0;
}

TLX_BCF_API int tlxSystem_ClearConfig() { return tlx::link::tlxSystem_ClearConfig(); }

TLX_BCF_API int tlxSystem_GetBaseSel() { return tlx::link::tlxSystem_GetBaseSel(); }

// Exports of the registration values and capabilities.
#include <string>

#include "link/config/link_options.h"
#include "link/config/regist_values.h"
#include "link/tlx_bcf.h"

TLX_BCF_API const char* tlxRegist_GetRegValue(int type) {
  // Each thread's own text, valid until that thread's next call.
  thread_local std::string text;
  text = tlx::link::tlxRegValue(type);
  return text.c_str();
}

TLX_BCF_API int tlxRegist_GetBaseCapability(unsigned type, int index, void* out) {
  return tlx::link::tlxRegistCapability(type, index, out);
}

TLX_BCF_API int tlxRegist_GetBaseCapWLAN(TLX_CAP_WLAN* out) { return tlx::link::tlxRegistCapWlan(out); }

TLX_BCF_API int tlxRegist_GetBaseCapVideoSystem(TLX_CAP_VIDEO_SYSTEM* out) {
  return tlx::link::tlxRegistCapVideoSystem(out);
}

TLX_BCF_API int tlxRegist_GetBaseCapRcomFunc(int* out) { return tlx::link::tlxRegistCapRcomFunc(out); }

TLX_BCF_API int tlxRegist_GetBaseCapLineInfo(int index, TLX_CAP_LINE_INFO* out) {
  return tlx::link::tlxRegistCapLineInfo(index, out);
}

TLX_BCF_API int tlxRegist_IsConnectableModel(const char* baseModel) {
  return tlx::link::tlxIsConnectableModel(baseModel, tlx::link::tlxOptionWord());
}

TLX_BCF_API int tlxRegist_GetBaseInfo(int, int) { return -1; }

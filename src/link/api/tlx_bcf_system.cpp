// Exports of the system values and the calls that do nothing more.
#include "link/config/identity_read.h"
#include "link/network/link_mgr_client.h"
#include "link/tlx_bcf.h"

TLX_BCF_API int tlxSystem_GetLdInfo(const char* name, void* out, int size) {
  return tlx::link::tlxLdInfo(name, out, size);
}

TLX_BCF_API int tlxSystem_SetBaseSel(int) { return -1; }

TLX_BCF_API int tlxSetBaseAddr(void*) { return 0; }

// The value was kept for nobody to read; only the result remains.
TLX_BCF_API int tlxRegistEventCallback(int, int) { return 0; }

TLX_BCF_API int tlxKACHConnect() {
  tlx::link::tlxRavixConnect();
  return 1;
}

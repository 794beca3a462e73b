// Exports of discovery.
#include "link/discovery/discovery_reporter.h"
#include "link/tlx_bcf.h"

TLX_BCF_API int tlxRavixMgr_DiscoverBase(int type, int arg) { return tlx::link::tlxDiscoverBase(type, arg); }

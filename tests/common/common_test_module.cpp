// A module for the loader tests: it links the common library, as the
// user-interface libraries do, and sets its TV-tuner flag.
#include "common/tlx_pc_cmn_system.h"
#include "export/tlx_export.h"

extern "C" TLX_EXPORT void TlxTestSetTVTunerEnabled(bool enabled) {
  SetTVTunerEnabled(enabled);
}

extern "C" TLX_EXPORT int TlxTestModuleAnswer() { return 42; }

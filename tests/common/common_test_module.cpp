// A module for the loader tests: it links the common library, as the
// user-interface libraries do, and sets its TV-tuner flag.
#include "common/tlx_pc_cmn_system.h"

extern "C" __attribute__((visibility("default"))) void TlxTestSetTVTunerEnabled(bool enabled) {
  SetTVTunerEnabled(enabled);
}

extern "C" __attribute__((visibility("default"))) int TlxTestModuleAnswer() { return 42; }

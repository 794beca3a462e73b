// A module for the loader tests: one export, no state.
#include "export/tlx_export.h"

extern "C" TLX_EXPORT int TlxTestModuleAnswer() { return 42; }

// Internal: the id of the calling thread, given on first use to threads the
// layer did not create.
#pragma once

#include "win32/types.h"

namespace tlx::win32 {
DWORD CurrentThreadId();
}

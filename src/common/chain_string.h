// Strings of the process's resource chain, for the common library's own use.
#pragma once

#include "mfc/cstring.h"
#include "win32/types.h"

namespace tlx::common {

// The string `id` from the first module of the resource chain that has it;
// empty when none has. Texts longer than a registry value name are cut to
// that length.
CString ChainString(UINT id);

}  // namespace tlx::common

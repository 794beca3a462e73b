// The dump writer (CLSID_Dump): an input that takes any type and appends the
// bytes of every sample, in arrival order, to the file named through
// IFileSinkFilter.
#pragma once

#include "com/unknown_base.h"

namespace tlx::dshow {
CUnknown* CreateDumpWriter(IUnknown* outer, HRESULT* hr);
}

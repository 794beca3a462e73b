// The system device enumerator over the process's filter categories.
#pragma once

#include "com/unknown_base.h"

namespace tlx::dshow {
CUnknown* CreateDeviceEnumerator(IUnknown* outer, HRESULT* hr);
}

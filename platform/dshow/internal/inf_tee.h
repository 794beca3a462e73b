// The Infinite Pin Tee (CLSID_InfTee): one input, as many outputs as are
// connected plus one free, each sample passed to every connected output.
#pragma once

#include "com/unknown_base.h"

namespace tlx::dshow {
CUnknown* CreateInfTee(IUnknown* outer, HRESULT* hr);
}

// The filter graph manager (CLSID_FilterGraph): holds the filters, connects
// pins directly, runs the graph on one reference clock, collects the filters'
// events and forwards control, seeking, window and volume calls to the filters
// that serve them.
#pragma once

#include "com/unknown_base.h"

namespace tlx::dshow {
CUnknown* CreateFilterGraph(IUnknown* outer, HRESULT* hr);
}

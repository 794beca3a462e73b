// What a test sees of a stream object's graph: its filters by class and the
// connections between them.
#pragma once

#include <utility>
#include <vector>

#include "com/com_ptr.h"
#include "dshow/interfaces.h"

namespace tlx::engine::test {

// The object's interface `iid`, null when it has none (or for null).
template <typename T>
com::ComPtr<T> Query(IUnknown* object, REFIID iid) {
  com::ComPtr<T> out;
  if (object != nullptr) object->QueryInterface(iid, out.ReceiveVoid());
  return out;
}

// The class of every filter in the graph, sorted.
std::vector<CLSID> GraphFilterClasses(IGraphBuilder* graph);
// (class of the filter, class of the filter its connected output pin leads
// to) for every connected output pin, sorted.
std::vector<std::pair<CLSID, CLSID>> GraphConnections(IGraphBuilder* graph);
// Every filter of that class in the graph, in the graph's order.
std::vector<com::ComPtr<IBaseFilter>> GraphFiltersOf(IGraphBuilder* graph, const CLSID& clsid);
// Whether the filter has a connected pin.
bool IsConnected(IBaseFilter* filter);

}  // namespace tlx::engine::test

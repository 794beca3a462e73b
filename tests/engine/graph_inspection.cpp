#include "graph_inspection.h"

#include <algorithm>

namespace tlx::engine::test {

using com::ComPtr;

namespace {

CLSID ClassOf(IBaseFilter* filter) {
  CLSID clsid{};
  filter->GetClassID(&clsid);
  return clsid;
}

template <typename Visit>
void ForEachFilter(IGraphBuilder* graph, Visit visit) {
  ComPtr<IEnumFilters> filters;
  if (graph == nullptr || FAILED(graph->EnumFilters(filters.Receive()))) return;
  ComPtr<IBaseFilter> filter;
  ULONG fetched = 0;
  while (filters->Next(1, filter.Receive(), &fetched) == S_OK) visit(filter.Get());
}

// Every pin of the filter with the pin it is connected to (null when none).
template <typename Visit>
void ForEachPin(IBaseFilter* filter, Visit visit) {
  ComPtr<IEnumPins> pins;
  if (FAILED(filter->EnumPins(pins.Receive()))) return;
  ComPtr<IPin> pin;
  ULONG fetched = 0;
  while (pins->Next(1, pin.Receive(), &fetched) == S_OK) {
    PIN_DIRECTION direction = PINDIR_INPUT;
    pin->QueryDirection(&direction);
    ComPtr<IPin> peer;
    pin->ConnectedTo(peer.Receive());
    visit(direction, peer.Get());
  }
}

}  // namespace

std::vector<CLSID> GraphFilterClasses(IGraphBuilder* graph) {
  std::vector<CLSID> classes;
  ForEachFilter(graph, [&](IBaseFilter* filter) { classes.push_back(ClassOf(filter)); });
  std::sort(classes.begin(), classes.end());
  return classes;
}

std::vector<std::pair<CLSID, CLSID>> GraphConnections(IGraphBuilder* graph) {
  std::vector<std::pair<CLSID, CLSID>> connections;
  ForEachFilter(graph, [&](IBaseFilter* filter) {
    ForEachPin(filter, [&](PIN_DIRECTION direction, IPin* peer) {
      if (direction != PINDIR_OUTPUT || peer == nullptr) return;
      PIN_INFO info{};
      peer->QueryPinInfo(&info);
      connections.emplace_back(ClassOf(filter), ClassOf(info.pFilter));
      info.pFilter->Release();
    });
  });
  std::sort(connections.begin(), connections.end());
  return connections;
}

std::vector<ComPtr<IBaseFilter>> GraphFiltersOf(IGraphBuilder* graph, const CLSID& clsid) {
  std::vector<ComPtr<IBaseFilter>> found;
  ForEachFilter(graph, [&](IBaseFilter* filter) {
    if (ClassOf(filter) == clsid) found.emplace_back(filter);
  });
  return found;
}

bool IsConnected(IBaseFilter* filter) {
  bool connected = false;
  ForEachPin(filter, [&](PIN_DIRECTION, IPin* peer) { connected = connected || peer != nullptr; });
  return connected;
}

}  // namespace tlx::engine::test

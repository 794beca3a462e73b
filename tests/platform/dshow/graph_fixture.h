// Builds graphs of the test filters for the graph tests.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "com/class_registry.h"
#include "com/com_ptr.h"
#include "platform/dshow/support/test_filters.h"

namespace tlx::dshow::test {

using com::ComPtr;

// Polls until `done` holds or two seconds pass.
inline bool WaitFor(const std::function<bool()>& done) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

inline std::vector<BYTE> Bytes(std::initializer_list<int> values) {
  std::vector<BYTE> bytes;
  for (int v : values) bytes.push_back(static_cast<BYTE>(v));
  return bytes;
}

inline ComPtr<IPin> PinOf(IBaseFilter* filter, const char16_t* id) {
  ComPtr<IPin> pin;
  filter->FindPin(id, pin.Receive());
  return pin;
}

// Makes a CUnknown-derived filter and hands back its interface of type T.
template <typename T, typename F>
ComPtr<T> Adopt(F* object, REFIID iid) {
  ComPtr<T> result;
  object->NonDelegatingAddRef();
  object->NonDelegatingQueryInterface(iid, result.ReceiveVoid());
  object->NonDelegatingRelease();
  return result;
}

// source -> marker -> renderer in one graph, with the filters at hand.
class GraphFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                               graph.ReceiveVoid()),
              S_OK);
    control = graph.As<IMediaControl>(IID_IMediaControl);
    events = graph.As<IMediaEventEx>(IID_IMediaEventEx);
    seeking = graph.As<IMediaSeeking>(IID_IMediaSeeking);
    HRESULT hr = S_OK;
    source = new ScriptedSource(nullptr, &hr, &log, "source");
    sourceFilter = Adopt<IBaseFilter>(source, IID_IBaseFilter);
    marker = new InPlaceMarker(nullptr, &hr, &log, "marker");
    markerFilter = Adopt<IBaseFilter>(marker, IID_IBaseFilter);
    renderer = new RecordingRenderer(nullptr, &hr, &log, "renderer");
    rendererFilter = Adopt<IBaseFilter>(renderer, IID_IBaseFilter);
  }

  void TearDown() override {
    if (control) control->Stop();
  }

  // Adds the three filters and connects them.
  void Build(bool withMarker = true) {
    ASSERT_EQ(graph->AddFilter(sourceFilter.Get(), u"source"), S_OK);
    ASSERT_EQ(graph->AddFilter(rendererFilter.Get(), u"renderer"), S_OK);
    if (withMarker) {
      ASSERT_EQ(graph->AddFilter(markerFilter.Get(), u"marker"), S_OK);
      ASSERT_EQ(graph->ConnectDirect(PinOf(sourceFilter.Get(), u"1").Get(),
                                     PinOf(markerFilter.Get(), u"In").Get(), nullptr),
                S_OK);
      ASSERT_EQ(graph->ConnectDirect(PinOf(markerFilter.Get(), u"Out").Get(),
                                     PinOf(rendererFilter.Get(), u"In").Get(), nullptr),
                S_OK);
    } else {
      ASSERT_EQ(graph->ConnectDirect(PinOf(sourceFilter.Get(), u"1").Get(),
                                     PinOf(rendererFilter.Get(), u"In").Get(), nullptr),
                S_OK);
    }
  }

  // The next event, or 0 after the time-out.
  long NextEvent(long milliseconds, LONG_PTR* param1 = nullptr) {
    long code;
    LONG_PTR p1, p2;
    if (events->GetEvent(&code, &p1, &p2, milliseconds) != S_OK) return 0;
    events->FreeEventParams(code, p1, p2);
    if (param1 != nullptr) *param1 = p1;
    return code;
  }

  StateLog log;
  ComPtr<IGraphBuilder> graph;
  ComPtr<IMediaControl> control;
  ComPtr<IMediaEventEx> events;
  ComPtr<IMediaSeeking> seeking;
  ScriptedSource* source = nullptr;
  ComPtr<IBaseFilter> sourceFilter;
  InPlaceMarker* marker = nullptr;
  ComPtr<IBaseFilter> markerFilter;
  RecordingRenderer* renderer = nullptr;
  ComPtr<IBaseFilter> rendererFilter;
};

}  // namespace tlx::dshow::test

// Loads the decoder filter module the way the engine does: from a folder of
// its own that holds the module, the core under test and, where a test needs
// it, a settings file; and builds graphs around the filter with the test
// source and renderer.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "com/com_ptr.h"
#include "dshow/media_type.h"
#include "filters/avc/avc_dec_mode.h"
#include "platform/dshow/graph_fixture.h"
#include "win32/modules.h"

namespace tlx::avctest {

using com::ComPtr;
using dshow::test::IRecordingRenderer;
using dshow::test::IScriptedSource;
using dshow::test::RecordingRenderer;
using dshow::test::ScriptedSource;
using dshow::test::ScriptItem;

// Polls until `done` holds or twenty seconds pass: decoding under the
// sanitizers takes a while.
bool WaitUntil(const std::function<bool()>& done);

// The folder the test programs run from (the build's bin/).
std::string BinFolder();

class ModuleFolder {
 public:
  // coreFolder: where the libtlxavccore.so to copy lies; empty for none.
  explicit ModuleFolder(const std::string& coreFolder, const std::string& settings = "");
  ~ModuleFolder();

  // A new filter object; *hr receives the creation result.
  ComPtr<IBaseFilter> CreateFilter(HRESULT* hr = nullptr);
  const std::string& path() const { return folder_; }
  std::string ModulePath() const { return folder_ + "/tlxavcdec.ax"; }

 private:
  std::string folder_;
  HMODULE module_ = nullptr;
};

// A VIDEOINFOHEADER2 input type of the given subtype and size, with extra
// bytes after the header (the configuration record for TlxAVCC).
CMediaType AvcInputType(REFGUID subtype, int width, int height, const std::vector<uint8_t>& extra = {},
                        REFERENCE_TIME frameDuration = 333667);

// The reasons of the EC_ERRORABORT events a stopped graph holds, in order;
// the other events are read and dropped.
std::vector<LONG_PTR> ErrorAbortReasons(IMediaEventEx* events);

// source -> filter -> renderer, connected, without a clock.
struct DecoderGraph {
  DecoderGraph(IBaseFilter* decoder, const CMediaType& input, std::vector<std::pair<GUID, GUID>> accepted = {});
  ~DecoderGraph();

  ComPtr<IGraphBuilder> graph;
  ComPtr<IMediaControl> control;
  ComPtr<IMediaEventEx> events;
  ScriptedSource* source = nullptr;
  ComPtr<IBaseFilter> sourceFilter;
  RecordingRenderer* renderer = nullptr;
  ComPtr<IBaseFilter> rendererFilter;
  IBaseFilter* decoder;
  HRESULT inputConnect = E_FAIL, outputConnect = E_FAIL;
};

}  // namespace tlx::avctest

#include "filter_harness.h"

#include <unistd.h>

#include <chrono>
#include <climits>
#include <thread>
#include <cstdlib>
#include <fstream>

#include "com/class_registry.h"

namespace tlx::avctest {

using dshow::test::Adopt;
using dshow::test::PinOf;

bool WaitUntil(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

std::vector<LONG_PTR> ErrorAbortReasons(IMediaEventEx* events) {
  std::vector<LONG_PTR> reasons;
  long code;
  LONG_PTR param1, param2;
  while (events->GetEvent(&code, &param1, &param2, 0) == S_OK) {
    events->FreeEventParams(code, param1, param2);
    if (code == EC_ERRORABORT) reasons.push_back(param1);
  }
  return reasons;
}

std::string BinFolder() {
  char self[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  const std::string path(self, n > 0 ? static_cast<size_t>(n) : 0);
  return path.substr(0, path.rfind('/'));
}

ModuleFolder::ModuleFolder(const std::string& coreFolder, const std::string& settings) {
  std::string pattern = std::filesystem::temp_directory_path().string() + "/tlxavcdec.XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    ADD_FAILURE() << "no temporary folder";
    return;
  }
  folder_ = pattern;
  namespace fs = std::filesystem;
  fs::copy_file(BinFolder() + "/tlxavcdec.ax", ModulePath());
  if (!coreFolder.empty()) fs::copy_file(coreFolder + "/libtlxavccore.so", folder_ + "/libtlxavccore.so");
  if (!settings.empty()) std::ofstream(folder_ + "/tlxavcdl.ini") << settings;
  module_ = LoadLibraryA(ModulePath().c_str());
  EXPECT_NE(module_, nullptr);
}

ModuleFolder::~ModuleFolder() {
  if (module_ != nullptr) FreeLibrary(module_);
  std::error_code error;
  if (!folder_.empty()) std::filesystem::remove_all(folder_, error);
}

ComPtr<IBaseFilter> ModuleFolder::CreateFilter(HRESULT* hr) {
  ComPtr<IBaseFilter> filter;
  using GetClassObject = HRESULT (*)(REFCLSID, REFIID, void**);
  auto entry = reinterpret_cast<GetClassObject>(GetProcAddress(module_, "DllGetClassObject"));
  HRESULT result = E_FAIL;
  ComPtr<IClassFactory> factory;
  if (entry != nullptr && SUCCEEDED(entry(CLSID_AvcDecFilter, IID_IClassFactory, factory.ReceiveVoid())))
    result = factory->CreateInstance(nullptr, IID_IBaseFilter, filter.ReceiveVoid());
  if (hr != nullptr) *hr = result;
  return filter;
}

CMediaType AvcInputType(REFGUID subtype, int width, int height, const std::vector<uint8_t>& extra,
                        REFERENCE_TIME frameDuration) {
  CMediaType mt(&MEDIATYPE_Video);
  mt.SetSubtype(&subtype);
  mt.SetFormatType(&FORMAT_VideoInfo2);
  BYTE* format = mt.AllocFormatBuffer(static_cast<ULONG>(sizeof(VIDEOINFOHEADER2) + extra.size()));
  auto* info = reinterpret_cast<VIDEOINFOHEADER2*>(format);
  info->rcSource = RECT{0, 0, width, height};
  info->AvgTimePerFrame = frameDuration;
  info->dwPictAspectRatioX = 4;
  info->dwPictAspectRatioY = 3;
  info->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info->bmiHeader.biWidth = width;
  info->bmiHeader.biHeight = height;
  std::copy(extra.begin(), extra.end(), format + sizeof(VIDEOINFOHEADER2));
  return mt;
}

DecoderGraph::DecoderGraph(IBaseFilter* decoderFilter, const CMediaType& input,
                           std::vector<std::pair<GUID, GUID>> accepted)
    : decoder(decoderFilter) {
  EXPECT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                             graph.ReceiveVoid()),
            S_OK);
  control = graph.As<IMediaControl>(IID_IMediaControl);
  events = graph.As<IMediaEventEx>(IID_IMediaEventEx);
  HRESULT hr = S_OK;
  source = new ScriptedSource(nullptr, &hr);
  sourceFilter = Adopt<IBaseFilter>(source, IID_IBaseFilter);
  renderer = new RecordingRenderer(nullptr, &hr);
  rendererFilter = Adopt<IBaseFilter>(renderer, IID_IBaseFilter);
  renderer->SetAcceptedTypes(std::move(accepted));
  source->SetMediaType(input);
  source->SetBuffers(4, 1 << 20);
  graph->AddFilter(sourceFilter.Get(), u"source");
  graph->AddFilter(decoder, u"decoder");
  graph->AddFilter(rendererFilter.Get(), u"renderer");
  graph.As<IMediaFilter>(IID_IMediaFilter)->SetSyncSource(nullptr);
  inputConnect = graph->ConnectDirect(PinOf(sourceFilter.Get(), u"1").Get(), PinOf(decoder, u"In").Get(), nullptr);
  outputConnect =
      graph->ConnectDirect(PinOf(decoder, u"Out").Get(), PinOf(rendererFilter.Get(), u"In").Get(), nullptr);
}

DecoderGraph::~DecoderGraph() {
  if (control) control->Stop();
  if (graph) {
    graph->RemoveFilter(sourceFilter.Get());
    graph->RemoveFilter(decoder);
    graph->RemoveFilter(rendererFilter.Get());
  }
}

}  // namespace tlx::avctest

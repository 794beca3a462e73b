#include "dshow/filter_module.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <set>

#include "dshow/filter_category.h"
#include "graph_fixture.h"

namespace tlx::dshow::test {
namespace {

std::string ModulePath() {
  char self[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  std::string path(self, n > 0 ? static_cast<size_t>(n) : 0);
  return path.substr(0, path.rfind('/')) + "/TlxTestFilters.ax";
}

// Whether the file at `path` is mapped into this process: what the layer's
// own bookkeeping says is one thing, whether the loader really let go another.
bool IsMapped(const std::string& path) {
  std::ifstream maps("/proc/self/maps");
  std::string line;
  while (std::getline(maps, line)) {
    if (line.size() >= path.size() && line.compare(line.size() - path.size(), path.size(), path) == 0) return true;
  }
  return false;
}

// The shared libraries mapped now from outside `folder`.
std::set<std::string> LibrariesOutside(const std::filesystem::path& folder) {
  std::set<std::string> libraries;
  std::ifstream maps("/proc/self/maps");
  std::string line;
  while (std::getline(maps, line)) {
    const size_t slash = line.find('/');
    if (slash == std::string::npos) continue;
    const std::filesystem::path file = line.substr(slash);
    if (file.string().find(".so") != std::string::npos && file.parent_path() != folder) libraries.insert(file);
  }
  return libraries;
}

std::u16string FriendlyName(IMoniker* moniker) {
  ComPtr<IPropertyBag> bag;
  if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.ReceiveVoid()))) return u"";
  VARIANT value;
  VariantInit(&value);
  if (FAILED(bag->Read(u"FriendlyName", &value, nullptr))) return u"";
  std::u16string name(value.bstrVal, SysStringLen(value.bstrVal));
  VariantClear(&value);
  return name;
}

// As the stream engine finds a registered filter: by its friendly name in
// the legacy filter category.
ComPtr<IBaseFilter> FilterByFriendlyName(const std::u16string& wanted, std::vector<std::u16string>* seen) {
  ComPtr<ICreateDevEnum> devices;
  EXPECT_EQ(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                             devices.ReceiveVoid()),
            S_OK);
  ComPtr<IEnumMoniker> monikers;
  if (devices->CreateClassEnumerator(CLSID_LegacyAmFilterCategory, monikers.Receive(), 0) != S_OK) return {};
  ComPtr<IBaseFilter> found;
  IMoniker* raw = nullptr;
  while (monikers->Next(1, &raw, nullptr) == S_OK) {
    ComPtr<IMoniker> moniker = ComPtr<IMoniker>::Attach(raw);
    std::u16string name = FriendlyName(moniker.Get());
    if (seen != nullptr) seen->push_back(name);
    if (name == wanted && !found) {
      EXPECT_EQ(moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, found.ReceiveVoid()), S_OK);
    }
  }
  return found;
}

TEST(FilterModule, GraphOfModuleFiltersFoundByFriendlyNameRunsAndTheModuleUnloadsAfterwards) {
  const std::string path = ModulePath();
  ASSERT_EQ(RegisterFilterModule(path), S_OK);
  std::vector<std::u16string> names;
  ComPtr<IBaseFilter> source = FilterByFriendlyName(kScriptedSourceName, &names);
  EXPECT_EQ(names, (std::vector<std::u16string>{kScriptedSourceName, kInPlaceMarkerName, kRecordingRendererName}))
      << "in registration order";
  ComPtr<IBaseFilter> marker = FilterByFriendlyName(kInPlaceMarkerName, nullptr);
  ComPtr<IBaseFilter> renderer = FilterByFriendlyName(kRecordingRendererName, nullptr);
  ASSERT_TRUE(source && marker && renderer);

  for (int round = 0; round < 2; ++round) {
    ComPtr<IGraphBuilder> graph;
    ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_ALL, IID_IGraphBuilder, graph.ReceiveVoid()), S_OK);
    graph->AddFilter(source.Get(), kScriptedSourceName);
    graph->AddFilter(marker.Get(), kInPlaceMarkerName);
    graph->AddFilter(renderer.Get(), kRecordingRendererName);
    ASSERT_EQ(graph->Connect(PinOf(source.Get(), u"1").Get(), PinOf(marker.Get(), u"In").Get()), S_OK);
    ASSERT_EQ(graph->Connect(PinOf(marker.Get(), u"Out").Get(), PinOf(renderer.Get(), u"In").Get()), S_OK);
    graph.As<IMediaFilter>(IID_IMediaFilter)->SetSyncSource(nullptr);
    auto script = source.As<IScriptedSource>(IID_IScriptedSource);
    auto records = renderer.As<IRecordingRenderer>(IID_IRecordingRenderer);
    ASSERT_TRUE(script && records);
    records->ClearRecords();
    script->SetScript({ScriptItem::Sample(Bytes({7, 8}), 0, 1), ScriptItem::EndOfStream()});
    ASSERT_EQ(graph.As<IMediaControl>(IID_IMediaControl)->Run(), S_OK);
    long code;
    LONG_PTR p1, p2;
    ASSERT_EQ(graph.As<IMediaEvent>(IID_IMediaEvent)->GetEvent(&code, &p1, &p2, 2000), S_OK);
    EXPECT_EQ(code, EC_COMPLETE);
    ASSERT_EQ(records->Samples().size(), 1u);
    EXPECT_EQ(records->Samples()[0].bytes, Bytes({8, 9}));
    // Seek back to the start: the sample comes again, then the end.
    LONGLONG start = 0;
    ASSERT_EQ(graph.As<IMediaSeeking>(IID_IMediaSeeking)
                  ->SetPositions(&start, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning),
              S_OK);
    ASSERT_EQ(graph.As<IMediaEvent>(IID_IMediaEvent)->GetEvent(&code, &p1, &p2, 2000), S_OK);
    EXPECT_EQ(code, EC_COMPLETE);
    EXPECT_EQ(records->Samples().size(), 2u);
    EXPECT_EQ(graph.As<IMediaControl>(IID_IMediaControl)->Pause(), S_OK);
    graph.As<IMediaControl>(IID_IMediaControl)->Stop();
    // Releasing the graph removes the filters from it.
  }

  FreeUnusedFilterModules();
  EXPECT_TRUE(IsFilterModuleLoaded(path)) << "its filters are still alive";
  source.Reset();
  marker.Reset();
  renderer.Reset();
  FreeUnusedFilterModules();
  EXPECT_FALSE(IsFilterModuleLoaded(path));
  EXPECT_FALSE(IsMapped(path));

  // Creating one of its classes loads it again.
  ComPtr<IBaseFilter> again;
  ASSERT_EQ(CoCreateInstance(CLSID_RecordingRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                             again.ReceiveVoid()),
            S_OK);
  EXPECT_TRUE(IsFilterModuleLoaded(path));
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(CoGetClassObject(CLSID_InPlaceMarker, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                             factory.ReceiveVoid()),
            S_OK);
  again.Reset();
  FreeUnusedFilterModules();
  EXPECT_TRUE(IsFilterModuleLoaded(path)) << "a class object keeps its module";
  factory.Reset();
  FreeUnusedFilterModules();
  EXPECT_FALSE(IsFilterModuleLoaded(path));

  ASSERT_EQ(UnregisterFilterModule(path), S_OK);
  names.clear();
  EXPECT_FALSE(FilterByFriendlyName(kScriptedSourceName, &names));
  EXPECT_TRUE(names.empty());
  FreeUnusedFilterModules();
}

// Every filter module the build puts in the program folder is gone from the
// process once it is unregistered and freed, so a module can be replaced or
// reloaded while the player runs.
TEST(FilterModule, EveryModuleOfTheProgramFolderIsUnmappedWhenFreed) {
  const std::filesystem::path folder = std::filesystem::path(ModulePath()).parent_path();
  int modules = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().extension() != ".ax") continue;
    const std::string path = entry.path().string();
    ++modules;
    ASSERT_EQ(RegisterFilterModule(path), S_OK) << path;
    EXPECT_TRUE(IsMapped(path)) << path;
    const std::set<std::string> foreign = LibrariesOutside(folder);
    ASSERT_EQ(UnregisterFilterModule(path), S_OK) << path;
    FreeUnusedFilterModules();
    EXPECT_FALSE(IsFilterModuleLoaded(path)) << path;
    EXPECT_FALSE(IsMapped(path)) << path << " stays mapped";
    // What the module brought in from outside the program's folder stays:
    // such libraries may keep load-time allocations until the process ends.
    EXPECT_EQ(LibrariesOutside(folder), foreign) << path;
  }
  EXPECT_GT(modules, 1);
}

TEST(FilterModule, ReportsMissingFilesAndEmptyCategories) {
  EXPECT_EQ(RegisterFilterModule("/nonexistent/Nothing.ax"), HRESULT_FROM_WIN32(126));
  ComPtr<ICreateDevEnum> devices;
  ASSERT_EQ(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                             devices.ReceiveVoid()),
            S_OK);
  constexpr GUID kEmptyCategory{0x11111111, 0x2222, 0x3333, {4, 4, 4, 4, 4, 4, 4, 4}};
  IEnumMoniker* monikers = reinterpret_cast<IEnumMoniker*>(1);
  EXPECT_EQ(devices->CreateClassEnumerator(kEmptyCategory, &monikers, 0), S_FALSE);
  EXPECT_EQ(monikers, nullptr);
  EXPECT_EQ(RegisterServerClass(CLSID_ScriptedSource), E_UNEXPECTED) << "only during a module's registration";
}

}  // namespace
}  // namespace tlx::dshow::test

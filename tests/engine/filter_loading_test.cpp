// Filters added by registered name and from their module files, with the
// module search below the current directory and through the loader's path.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "com/class_registry.h"
#include "com/com_ptr.h"
#include "dshow/filter_module.h"
#include "engine/tlx_pc_stm_com_loader.h"
#include "platform/dshow/support/test_filters.h"
#include "support/child_process.h"
#include "test_stream_object.h"

namespace tlx::engine {
namespace {

namespace fs = std::filesystem;
using com::ComPtr;
using dshow::test::CLSID_RecordingRenderer;
using dshow::test::CLSID_ScriptedSource;
using test::BaseStreamObject;

class FilterLoading : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    ASSERT_EQ(object_.hCreateFilterGraph(), S_OK);
  }
  void TearDown() override {
    object_.vCleanup();
    delete loader_;
    unsetenv("TLX_MODULE_PATH");
    CoUninitialize();
  }

  // The filter is in the object's graph.
  bool InGraph(IBaseFilter* filter) {
    FILTER_INFO info{};
    if (FAILED(filter->QueryFilterInfo(&info))) return false;
    const bool held = info.pGraph != nullptr;
    if (info.pGraph != nullptr) info.pGraph->Release();
    return held;
  }

  BaseStreamObject object_;
  CTlxPcStmComLoader* loader_ = nullptr;
};

TEST_F(FilterLoading, ByRegisteredNameMatchesTheWholeNameExactly) {
  ASSERT_EQ(dshow::RegisterFilterModule(TLX_TEST_FILTER_MODULE), S_OK);
  ComPtr<IBaseFilter> filter;
  ASSERT_EQ(object_.hAddFilter(dshow::test::kRecordingRendererName, filter.Receive()), S_OK);
  ASSERT_TRUE(filter);
  EXPECT_TRUE(InGraph(filter.Get()));
  CLSID clsid{};
  filter->GetClassID(&clsid);
  EXPECT_EQ(clsid, CLSID_RecordingRenderer);
  for (const char16_t* name : {u"test recording renderer", u"Test Recording", u"Test Recording Renderer ", u""}) {
    IBaseFilter* other = reinterpret_cast<IBaseFilter*>(1);
    EXPECT_EQ(object_.hAddFilter(name, &other), E_FAIL);
    EXPECT_EQ(other, nullptr);
  }
}

TEST_F(FilterLoading, FromAModuleFolderBelowTheCurrentDirectoryWithoutChangingIt) {
  tlx::test::TempFolder work;
  fs::create_directories(work.path() / "MP4Lib");
  fs::create_directories(work.path() / "WinRavix");  // exists, but holds no such module
  fs::copy_file(TLX_TEST_FILTER_MODULE, work.path() / "MP4Lib" / "testfilters.ax");
  const fs::path before = fs::current_path();
  fs::current_path(work.path());
  ComPtr<IBaseFilter> filter;
  const HRESULT hr = object_.hAddFilterDll(CLSID_ScriptedSource, u"TestFilters.AX", filter.Receive(), &loader_);
  const fs::path during = fs::current_path();
  fs::current_path(before);
  ASSERT_EQ(hr, S_OK);
  EXPECT_EQ(during, work.path());
  ASSERT_NE(loader_, nullptr);
  EXPECT_NE(loader_->hGetModule(), nullptr);
  EXPECT_TRUE(InGraph(filter.Get()));
  filter.Reset();
  object_.vCleanup();
}

TEST_F(FilterLoading, BareNameThroughTheModulePathAndAMissingModule) {
  tlx::test::TempFolder folder;
  fs::copy_file(TLX_TEST_FILTER_MODULE, folder.path() / "PathFilters.ax");
  setenv("TLX_MODULE_PATH", folder.path().c_str(), 1);
  ComPtr<IBaseFilter> filter;
  ASSERT_EQ(object_.hAddFilterDll(CLSID_RecordingRenderer, u"pathfilters.ax", filter.Receive(), &loader_), S_OK);
  EXPECT_TRUE(InGraph(filter.Get()));
  // A class the module does not make.
  ComPtr<IBaseFilter> none;
  const CLSID unknown{0x12345678, 0, 0, {0, 0, 0, 0, 0, 0, 0, 1}};
  EXPECT_TRUE(FAILED(object_.hAddFilterDll(unknown, u"PathFilters.ax", none.Receive(), &loader_)));
  EXPECT_FALSE(none);
  // No such file anywhere: the loader replaced the old one and holds nothing.
  EXPECT_EQ(object_.hAddFilterDll(CLSID_RecordingRenderer, u"NoSuchFilter.ax", none.Receive(), &loader_),
            REGDB_E_CLASSNOTREG);
  ASSERT_NE(loader_, nullptr);
  EXPECT_EQ(loader_->hGetModule(), nullptr);
  // The filter of the replaced module is still in the graph, and its code with it.
  EXPECT_TRUE(InGraph(filter.Get()));
  filter.Reset();
  object_.vCleanup();
}

TEST_F(FilterLoading, AModuleWithoutTheEntryIsNotAClass) {
  tlx::test::TempFolder folder;
  // Any library without DllGetClassObject will do: the common library's
  // test module.
  fs::copy_file(TLX_PLAIN_MODULE, folder.path() / "Plain.ax");
  setenv("TLX_MODULE_PATH", folder.path().c_str(), 1);
  ComPtr<IBaseFilter> filter;
  EXPECT_EQ(object_.hAddFilterDll(CLSID_RecordingRenderer, u"Plain.ax", filter.Receive(), &loader_),
            REGDB_E_CLASSNOTREG);
  EXPECT_FALSE(filter);
}

}  // namespace
}  // namespace tlx::engine

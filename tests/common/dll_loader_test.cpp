#include "common/tlx_pc_cmn_dll_loader.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "common/tlx_pc_cmn_dwm_api_dll.h"
#include "common/tlx_pc_cmn_err_info.h"
#include "common/tlx_pc_cmn_ms_installer.h"
#include "support/child_process.h"
#include "win32/text.h"

namespace {

constexpr char16_t kModuleName[] = u"libTlxCommonTestModule.so";

std::string ModulePath() { return (tlx::test::ProgramFolder() / "libTlxCommonTestModule.so").string(); }

// Whether the test module is in the process, without loading it.
bool ModuleResident() {
  void* handle = dlopen(ModulePath().c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (handle != nullptr) dlclose(handle);
  return handle != nullptr;
}

int CallAnswer(const CTlxPcCmnDllLoader& loader) {
  int (*answer)() = nullptr;
  return loader.Bind("TlxTestModuleAnswer", &answer) ? answer() : -1;
}

TEST(DllLoader, LoadsOnceAndFindsExports) {
  CTlxPcCmnDllLoader loader;
  EXPECT_FALSE(loader.Load(nullptr));
  EXPECT_FALSE(loader.IsLoaded());
  EXPECT_EQ(nullptr, loader.GetProcAddress("TlxTestModuleAnswer")) << "nothing loaded";
  ASSERT_TRUE(loader.Load(kModuleName)) << "a bare name is found beside the program";
  const HINSTANCE first = loader.GetHandle();
  ASSERT_NE(nullptr, first);
  EXPECT_TRUE(loader.Load(u"libNoSuchModule.so")) << "a held module is kept";
  EXPECT_EQ(first, loader.GetHandle());
  EXPECT_EQ(42, CallAnswer(loader));
  EXPECT_EQ(nullptr, loader.GetProcAddress("NoSuchExport"));
  loader.Unload();
  EXPECT_FALSE(loader.IsLoaded());
  EXPECT_FALSE(ModuleResident());

  CTlxPcCmnDllLoader missing;
  EXPECT_FALSE(missing.Load(u"libNoSuchModule.so"));
  EXPECT_FALSE(missing.IsLoaded());
}

TEST(DllLoader, APathWithAFolderLeavesTheCurrentDirectory) {
  const std::filesystem::path before = std::filesystem::current_path();
  CTlxPcCmnDllLoader loader;
  ASSERT_TRUE(loader.Load(tlx::win32::Utf8ToUtf16(ModulePath()).c_str()));
  EXPECT_EQ(before, std::filesystem::current_path());
  EXPECT_EQ(42, CallAnswer(loader));
}

// Copies share the module; the last one to go unloads it.
TEST(DllLoader, CopiesOutliveTheOriginalAndTheLastUnloads) {
  ASSERT_FALSE(ModuleResident());
  auto original = std::make_unique<CTlxPcCmnDllLoader>();
  ASSERT_TRUE(original->Load(kModuleName));
  CTlxPcCmnDllLoader copy(*original);
  CTlxPcCmnDllLoader assigned;
  assigned = *original;
  original.reset();
  EXPECT_EQ(42, CallAnswer(copy));
  copy.Unload();
  EXPECT_TRUE(ModuleResident());
  EXPECT_EQ(42, CallAnswer(assigned));
  assigned = CTlxPcCmnDllLoader();
  EXPECT_FALSE(ModuleResident());
}

// The plug-in loader pattern: a holder that overrides Unload, called through
// the base.
class PluginLoader : public CTlxPcCmnDllLoader {
 public:
  void Unload() override {
    ++unloads;
    CTlxPcCmnDllLoader::Unload();
  }
  int unloads = 0;
};

TEST(DllLoader, ADerivedUnloadIsCalledThroughTheBase) {
  PluginLoader plugin;
  CTlxPcCmnDllLoader& base = plugin;
  ASSERT_TRUE(base.Load(kModuleName));
  base.Unload();
  EXPECT_EQ(1, plugin.unloads);
  EXPECT_FALSE(plugin.IsLoaded());
}

TEST(DllLoader, NoCompositionLibraryOnThisPlatform) {
  CTlxPcCmnDwmApiDll dwm;
  EXPECT_FALSE(dwm.Load());
  BOOL enabled = TRUE;
  HWND source = nullptr;
  SIZE size{};
  const HRESULT results[] = {
      dwm.IsCompositionEnabled(&enabled),
      dwm.RegisterThumbnail(nullptr, &source),
      dwm.UnregisterThumbnail(),
      dwm.UpdateThumbnailProperties(nullptr),
      dwm.QueryThumbnailSourceSize(&size),
      dwm.EnableBlurBehindWindow(nullptr, nullptr),
      dwm.EnableComposition(0),
      dwm.EnableMMCSS(TRUE),
      dwm.SetWindowAttribute(nullptr, 0, nullptr, 0),
      dwm.GetWindowAttribute(nullptr, 0, nullptr, 0),
      dwm.ExtendFrameIntoClientArea(nullptr, nullptr),
      dwm.EnableBlurBehind(nullptr),
      dwm.DisableNCRendering(nullptr),
  };
  for (const HRESULT result : results) EXPECT_EQ(E_FAIL, result);
  EXPECT_EQ(TRUE, enabled) << "untouched";
  CTlxPcCmnDwmApiDll copy(dwm);
  EXPECT_FALSE(copy.Load());
}

TEST(DllLoader, NoInstallerOnThisPlatform) {
  CTlxPcCmnMsInstaller plain;
  CTlxPcCmnMsInstaller wrapped(static_cast<MSIHANDLE>(7));
  CTlxPcCmnMsInstaller opened(u"{00000000-0000-0000-0000-000000000000}");
  EXPECT_EQ(0u, plain.GetHandle());
  EXPECT_EQ(7u, wrapped.GetHandle()) << "kept as given, not owned";
  EXPECT_EQ(0u, opened.GetHandle());
  for (CTlxPcCmnMsInstaller* installer : {&plain, &wrapped, &opened}) {
    EXPECT_TRUE(installer->GetProperty(u"ProductVersion").IsEmpty());
    EXPECT_TRUE(installer->GetProductInfo(u"{00000000-0000-0000-0000-000000000000}", u"InstallLocation").IsEmpty());
  }
  CTlxPcCmnMsInstaller copy(wrapped);
  EXPECT_EQ(7u, copy.GetHandle());
}

TEST(ErrInfo, DefaultsAndValueCopies) {
  const CTlxPcCmnErrInfo empty;
  EXPECT_EQ(0, empty.nGetProId());
  EXPECT_EQ(0, empty.nGetClassId());
  EXPECT_EQ(0, empty.nGetLine());
  EXPECT_EQ(0, empty.nGetErrId());
  EXPECT_EQ(0, empty.nGetReserve());

  CTlxPcCmnErrInfo record(2, 1, 454, 4, 9);
  CTlxPcCmnErrInfo copy(record);
  record.vSetErrInfo(0, 0, 0, 0, 0);
  EXPECT_EQ(2, copy.nGetProId());
  EXPECT_EQ(1, copy.nGetClassId());
  EXPECT_EQ(454, copy.nGetLine());
  EXPECT_EQ(4, copy.nGetErrId());
  EXPECT_EQ(9, copy.nGetReserve());

  CTlxPcCmnErrInfo assigned;
  assigned.vSetProId(-1);
  assigned.vSetClassId(3);
  assigned.vSetLine(77);
  assigned.vSetErrId(0x7FFFFFFF);
  assigned.vSetReserve(-9);
  record = assigned;
  EXPECT_EQ(-1, record.nGetProId());
  EXPECT_EQ(3, record.nGetClassId());
  EXPECT_EQ(77, record.nGetLine());
  EXPECT_EQ(0x7FFFFFFF, record.nGetErrId());
  EXPECT_EQ(-9, record.nGetReserve());
}

}  // namespace

// The module file as the stream engine meets it: its exports, its class
// object, and its registration in the process's filter category.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>

#include "com/class_registry.h"
#include "dshow/filter_category.h"
#include "dshow/filter_module.h"
#include "filters/mpeg4/mpeg4_video_decoder.h"
#include "platform/dshow/graph_fixture.h"
#include "support/child_process.h"

namespace tlx::mpeg4::filtertest {
namespace {

using com::ComPtr;
using dshow::test::PinOf;

std::string ModulePath() { return (tlx::test::ProgramFolder() / kMpeg4VideoDecoderModule).string(); }

TEST(Module, ExportsTheModuleEntriesAndTheDecoderFunctions) {
  void* module = dlopen(ModulePath().c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(module, nullptr) << dlerror();
  for (const char* name :
       {"DllGetClassObject", "DllCanUnloadNow", "DllRegisterServer", "DllUnregisterServer", "Mpeg4DecInit",
        "Mpeg4DecInitEx", "Mpeg4DecExit", "Mpeg4DecAFrame", "Mpeg4DecDiscon", "Mpeg4DecReset",
        "Mpeg4DecLookSequenceHeader", "Mpeg4DecLookPictureHeader", "Mpeg4DecDebugDump"}) {
    EXPECT_NE(dlsym(module, name), nullptr) << name;
  }
  // The decoder functions of the module work on their own.
  using Init = uint32_t (*)(void**);
  using Exit = uint32_t (*)(void*);
  void* handle = nullptr;
  ASSERT_EQ(reinterpret_cast<Init>(dlsym(module, "Mpeg4DecInit"))(&handle), 0u);
  EXPECT_EQ(reinterpret_cast<Exit>(dlsym(module, "Mpeg4DecExit"))(handle), 0u);

  using GetClassObject = HRESULT (*)(REFCLSID, REFIID, void**);
  auto entry = reinterpret_cast<GetClassObject>(dlsym(module, "DllGetClassObject"));
  ASSERT_NE(entry, nullptr);
  {
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(entry(CLSID_Mpeg4VideoDecoder, IID_IClassFactory, factory.ReceiveVoid()), S_OK);
    ComPtr<IBaseFilter> filter;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IBaseFilter, filter.ReceiveVoid()), S_OK);
    CLSID clsid{};
    EXPECT_EQ(filter->GetClassID(&clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_Mpeg4VideoDecoder);
    using CanUnload = HRESULT (*)();
    EXPECT_EQ(reinterpret_cast<CanUnload>(dlsym(module, "DllCanUnloadNow"))(), S_FALSE) << "a filter is alive";
  }
  dlclose(module);
}

TEST(Module, RegistersTheFilterInTheLegacyCategoryAndUnregistersIt) {
  const std::string path = ModulePath();
  ASSERT_EQ(dshow::RegisterFilterModule(path), S_OK);
  bool listed = false;
  for (const dshow::CategoryEntry& entry : dshow::CategoryEntries(CLSID_LegacyAmFilterCategory)) {
    if (entry.clsid != CLSID_Mpeg4VideoDecoder) continue;
    listed = true;
    EXPECT_EQ(entry.friendlyName, kMpeg4VideoDecoderName);
    EXPECT_EQ(entry.merit, 0x00200000u);
  }
  EXPECT_TRUE(listed);
  {
    ComPtr<IBaseFilter> filter;
    ASSERT_EQ(CoCreateInstance(CLSID_Mpeg4VideoDecoder, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                               filter.ReceiveVoid()),
              S_OK);
    ComPtr<IEnumPins> pins;
    ASSERT_EQ(filter->EnumPins(pins.Receive()), S_OK);
    std::vector<std::u16string> names;
    IPin* pin = nullptr;
    while (pins->Next(1, &pin, nullptr) == S_OK) {
      PIN_INFO info{};
      pin->QueryPinInfo(&info);
      names.emplace_back(info.achName);
      if (info.pFilter != nullptr) info.pFilter->Release();
      pin->Release();
    }
    EXPECT_EQ(names, (std::vector<std::u16string>{u"Input", u"Output"}));
  }
  dshow::FreeUnusedFilterModules();
  EXPECT_FALSE(dshow::IsFilterModuleLoaded(path)) << "no object of it is left";
  ASSERT_EQ(dshow::UnregisterFilterModule(path), S_OK);
  for (const dshow::CategoryEntry& entry : dshow::CategoryEntries(CLSID_LegacyAmFilterCategory))
    EXPECT_NE(entry.clsid, CLSID_Mpeg4VideoDecoder);
  ComPtr<IBaseFilter> gone;
  EXPECT_NE(CoCreateInstance(CLSID_Mpeg4VideoDecoder, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                             gone.ReceiveVoid()),
            S_OK);
}

}  // namespace
}  // namespace tlx::mpeg4::filtertest

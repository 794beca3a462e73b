// The renderer's module, loaded and registered as the stream engine does.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <string>

#include "com/class_registry.h"
#include "dshow/filter_category.h"
#include "dshow/filter_module.h"
#include "dshow/interfaces.h"
#include "filters/audio_renderer/ravix_audio_renderer_control.h"

namespace {

std::string ModulePath() {
  char self[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  std::string path(self, n > 0 ? static_cast<size_t>(n) : 0);
  return path.substr(0, path.rfind('/')) + "/RavixDSAudRenderer.ax";
}

TEST(RendererModule, RegistersTheFilterAndMakesIt) {
  ASSERT_EQ(tlx::dshow::RegisterFilterModule(ModulePath()), S_OK);
  bool found = false;
  for (const auto& entry : tlx::dshow::CategoryEntries(CLSID_LegacyAmFilterCategory)) {
    if (entry.clsid != CLSID_RavixDSAudRenderer) continue;
    found = true;
    EXPECT_EQ(entry.friendlyName, u"Ravix Audio Renderer");
    EXPECT_EQ(entry.merit, 0x200000u);
  }
  EXPECT_TRUE(found);
  IBaseFilter* filter = nullptr;
  ASSERT_EQ(CoCreateInstance(CLSID_RavixDSAudRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                             reinterpret_cast<void**>(&filter)),
            S_OK);
  IRavixAudioRendererControl* control = nullptr;
  ASSERT_EQ(filter->QueryInterface(IID_IRavixAudioRendererControl, reinterpret_cast<void**>(&control)), S_OK);
  EXPECT_EQ(control->SetGain(2, 0), E_INVALIDARG);
  control->Release();
  CLSID clsid{};
  ASSERT_EQ(filter->GetClassID(&clsid), S_OK);
  EXPECT_EQ(clsid, CLSID_RavixDSAudRenderer);
  filter->Release();
}

}  // namespace

// A fake of the three video renderers, as a filter module registered under
// their classes and friendly names: it takes no media type, so a graph whose
// video branch reaches it fails to connect and is left without a video
// window. Tests see its objects released when the module unloads.
#include "dshow/base_renderer.h"
#include "dshow/errors.h"
#include "dshow/factory_template.h"
#include "dshow/guids.h"

namespace {

class RefusingVideoRenderer final : public CBaseRenderer {
 public:
  RefusingVideoRenderer(REFCLSID clsid, IUnknown* outer, HRESULT* hr)
      : CBaseRenderer(clsid, "refusing video renderer", outer, hr) {}

  template <const CLSID& kClass>
  static CUnknown* CreateInstance(IUnknown* outer, HRESULT* hr) {
    return new RefusingVideoRenderer(kClass, outer, hr);
  }

  HRESULT CheckMediaType(const CMediaType*) override { return VFW_E_TYPE_NOT_ACCEPTED; }
  HRESULT DoRenderSample(IMediaSample*) override { return E_UNEXPECTED; }
};

const AMOVIESETUP_FILTER kMixing9Setup{&CLSID_VideoMixingRenderer9, u"Video Mixing Renderer Filter",
                                       MERIT_DO_NOT_USE, 0, nullptr};
const AMOVIESETUP_FILTER kOldSetup{&CLSID_VideoRenderer, u"Video Renderer", MERIT_DO_NOT_USE, 0, nullptr};
const AMOVIESETUP_FILTER kMixing7Setup{&CLSID_VideoMixingRenderer, u"Video Renderer", MERIT_DO_NOT_USE, 0,
                                       nullptr};

}  // namespace

CFactoryTemplate g_Templates[] = {
    {u"Video Mixing Renderer Filter", &CLSID_VideoMixingRenderer9,
     RefusingVideoRenderer::CreateInstance<CLSID_VideoMixingRenderer9>, nullptr, &kMixing9Setup},
    {u"Video Renderer", &CLSID_VideoRenderer, RefusingVideoRenderer::CreateInstance<CLSID_VideoRenderer>, nullptr,
     &kOldSetup},
    {u"Video Renderer", &CLSID_VideoMixingRenderer, RefusingVideoRenderer::CreateInstance<CLSID_VideoMixingRenderer>,
     nullptr, &kMixing7Setup},
};
int g_cTemplates = sizeof(g_Templates) / sizeof(g_Templates[0]);

// The renderer's classes join the process's class registry when this library
// loads, one class object for each renderer kind the engine asks for.
#include "com/class_registry.h"
#include "dshow/factory_template.h"
#include "video_renderer_filter.h"

namespace tlx::dshow::video {
namespace {

const CFactoryTemplate kRendererTemplates[] = {
    {u"Video Mixing Renderer Filter", &CLSID_VideoMixingRenderer9, CVideoRenderer::CreateMixingRenderer9, nullptr,
     nullptr},
    {u"Video Mixing Renderer", &CLSID_VideoMixingRenderer, CVideoRenderer::CreateMixingRenderer, nullptr, nullptr},
    {u"Video Renderer", &CLSID_VideoRenderer, CVideoRenderer::CreateVideoRenderer, nullptr, nullptr},
};

__attribute__((constructor)) void RegisterRendererClasses() {
  for (const CFactoryTemplate& t : kRendererTemplates) {
    com::RegisterClassObject(*t.m_ClsID, [&t](REFCLSID clsid, REFIID iid, void** object) {
      return TemplateGetClassObject(&t, 1, nullptr, clsid, iid, object);
    });
  }
}

}  // namespace
}  // namespace tlx::dshow::video

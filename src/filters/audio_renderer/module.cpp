// The filter module: one class, registered in the filter category.
#include "dshow/factory_template.h"
#include "ravix_ds_aud_renderer.h"

namespace {

const AMOVIESETUP_MEDIATYPE kInputTypes[] = {{&MEDIATYPE_Audio, &GUID_NULL}};
const AMOVIESETUP_PIN kPins[] = {{u"Input", FALSE, FALSE, FALSE, FALSE, &GUID_NULL, u"Output", 1, kInputTypes}};
const AMOVIESETUP_FILTER kSetup{&CLSID_RavixDSAudRenderer, u"Ravix Audio Renderer", MERIT_DO_NOT_USE, 1, kPins};

}  // namespace

CFactoryTemplate g_Templates[] = {
    {u"Ravix Audio Renderer", &CLSID_RavixDSAudRenderer, CRavixDSAudRenderer::CreateInstance, nullptr, &kSetup},
};
int g_cTemplates = sizeof(g_Templates) / sizeof(g_Templates[0]);

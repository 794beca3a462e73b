// The AAC decoder as a fake: passes samples through unchanged.
#include "dshow/factory_template.h"
#include "fake_pass_through.h"
#include "filters/aac/aac_dec.h"

namespace {
const AMOVIESETUP_FILTER kSetup{&CLSID_AacDecFilter, u"Marovi MPEG4 AAC Decoder for TLX", MERIT_DO_NOT_USE, 0, nullptr};
}  // namespace

CFactoryTemplate g_Templates[] = {
    {u"Marovi MPEG4 AAC Decoder for TLX", &CLSID_AacDecFilter, FakePassThrough::CreateInstance<CLSID_AacDecFilter>,
     nullptr, &kSetup},
};
int g_cTemplates = sizeof(g_Templates) / sizeof(g_Templates[0]);

// The post filter the engine inserts by name, as a fake: passes samples
// through unchanged.
#include "dshow/factory_template.h"
#include "fake_pass_through.h"

namespace {
const AMOVIESETUP_FILTER kSetup{&CLSID_TlxPostFilter, u"TLX Post Filter", MERIT_DO_NOT_USE, 0, nullptr};
}  // namespace

CFactoryTemplate g_Templates[] = {
    {u"TLX Post Filter", &CLSID_TlxPostFilter, FakePassThrough::CreateInstance<CLSID_TlxPostFilter>, nullptr, &kSetup},
};
int g_cTemplates = sizeof(g_Templates) / sizeof(g_Templates[0]);

// The module's classes: the filter, registered in the filter category, and
// its property page.
#include "aac_dec_filter.h"
#include "aac_dec_property_page.h"
#include "aac_dec_setup.h"
#include "dshow/factory_template.h"

CFactoryTemplate g_Templates[] = {
    {u"AacDecFilterTLX", &CLSID_AacDecFilter, CAacDecFilter::CreateInstance, nullptr, &g_AacDecSetup},
    {u"TLXAacDecPropertyPage", &CLSID_AacDecPropertyPage, CAacDecPropertyPage::CreateInstance, nullptr, nullptr},
};
int g_cTemplates = sizeof(g_Templates) / sizeof(g_Templates[0]);

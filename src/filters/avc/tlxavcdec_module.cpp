// The filter module: the decoder filter and its property page.
#include "avc_dec_filter.h"
#include "avc_dec_property_page.h"
#include "dshow/factory_template.h"

using tlx::avc::CAvcDecFilter;
using tlx::avc::CAvcDecPropertyPage;

CFactoryTemplate g_Templates[] = {
    {u"Marovi AVC Decoder for TLX", &CLSID_AvcDecFilter, CAvcDecFilter::CreateInstance, nullptr,
     tlx::avc::AvcDecFilterSetup()},
    {u"Avc Dec Props", &CLSID_AvcDecPropertyPage, CAvcDecPropertyPage::CreateInstance, nullptr, nullptr},
};
int g_cTemplates = sizeof(g_Templates) / sizeof(g_Templates[0]);

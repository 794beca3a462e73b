// The module's classes: the source filter, registered in the filter category,
// and its About page. Loading the module opens the debug logs when their
// marker says so.
#include "about_page.h"
#include "debug_log.h"
#include "dshow/factory_template.h"
#include "streaming_client_filter.h"

CFactoryTemplate g_Templates[] = {
    {u"TLX Streaming Client", &CLSID_TlxStreamingClient, CStreamingClientFilter::CreateInstance, nullptr,
     &g_StreamingClientSetup},
    {u"TLX Streaming Client About", &CLSID_TlxStreamingClientAbout, CStreamingClientAboutPage::CreateInstance, nullptr,
     nullptr},
};
int g_cTemplates = sizeof(g_Templates) / sizeof(g_Templates[0]);

namespace {
[[maybe_unused]] const bool kLogsOpened = (StreamDebugLog::Instance(), true);
}  // namespace

// MP4FileSourceTLX.ax: the MP4 file source as a filter module, registered in
// the filter category under its friendly name.
#include "dshow/factory_template.h"
#include "mp4source/mp4_file_source.h"

using namespace tlx::mp4source;

namespace {

const AMOVIESETUP_FILTER kSetup{&CLSID_TlxMp4FileSource, kMp4FileSourceName, MERIT_DO_NOT_USE, 0, nullptr};

}  // namespace

CFactoryTemplate g_Templates[] = {
    {kMp4FileSourceName, &CLSID_TlxMp4FileSource, CreateMp4FileSource, nullptr, &kSetup},
};
int g_cTemplates = sizeof(g_Templates) / sizeof(g_Templates[0]);

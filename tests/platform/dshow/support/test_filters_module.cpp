// The test filters as a filter module, registered in the filter category
// under their friendly names.
#include "dshow/factory_template.h"
#include "test_filters.h"

using namespace tlx::dshow::test;

namespace {

const AMOVIESETUP_FILTER kSourceSetup{&CLSID_ScriptedSource, kScriptedSourceName, MERIT_DO_NOT_USE, 0, nullptr};
const AMOVIESETUP_FILTER kMarkerSetup{&CLSID_InPlaceMarker, kInPlaceMarkerName, MERIT_DO_NOT_USE, 0, nullptr};
const AMOVIESETUP_FILTER kRendererSetup{&CLSID_RecordingRenderer, kRecordingRendererName, MERIT_DO_NOT_USE, 0,
                                        nullptr};

}  // namespace

CFactoryTemplate g_Templates[] = {
    {kScriptedSourceName, &CLSID_ScriptedSource, ScriptedSource::CreateInstance, nullptr, &kSourceSetup},
    {kInPlaceMarkerName, &CLSID_InPlaceMarker, InPlaceMarker::CreateInstance, nullptr, &kMarkerSetup},
    {kRecordingRendererName, &CLSID_RecordingRenderer, RecordingRenderer::CreateInstance, nullptr, &kRendererSetup},
};
int g_cTemplates = sizeof(g_Templates) / sizeof(g_Templates[0]);

// The MPEG-4 video decoder as a fake: passes samples through unchanged.
#include "dshow/factory_template.h"
#include "fake_pass_through.h"
#include "filters/mpeg4/mpeg4_video_decoder.h"

namespace {
const AMOVIESETUP_FILTER kSetup{&CLSID_Mpeg4VideoDecoder, kMpeg4VideoDecoderName, MERIT_DO_NOT_USE, 0, nullptr};
}  // namespace

CFactoryTemplate g_Templates[] = {
    {kMpeg4VideoDecoderName, &CLSID_Mpeg4VideoDecoder, FakePassThrough::CreateInstance<CLSID_Mpeg4VideoDecoder>,
     nullptr, &kSetup},
};
int g_cTemplates = sizeof(g_Templates) / sizeof(g_Templates[0]);

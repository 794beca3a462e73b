// The module's one class: the MPEG-4 video decoder filter.
#include "dshow/factory_template.h"
#include "mpeg4_video_decoder_filter.h"

using tlx::mpeg4::CMpeg4VideoDecoderFilter;

CFactoryTemplate g_Templates[] = {
    {u"MAROVI MPEG Video Decoder for TLX", &CLSID_Mpeg4VideoDecoder, CMpeg4VideoDecoderFilter::CreateInstance,
     nullptr, &tlx::mpeg4::g_Mpeg4VideoDecoderSetup},
};
int g_cTemplates = sizeof(g_Templates) / sizeof(g_Templates[0]);

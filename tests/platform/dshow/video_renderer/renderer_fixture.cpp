#include "renderer_fixture.h"

#include <algorithm>
#include <cstring>
#include <random>

namespace tlx::dshow::video::test {

using dshow::test::Adopt;
using dshow::test::PinOf;

CMediaType VideoType(REFGUID subtype, int width, int height, bool topDown, bool info2) {
  struct Bits {
    const GUID* subtype;
    WORD bits;
    DWORD compression;
  };
  const Bits table[] = {{&MEDIASUBTYPE_YV12, 12, MAKEFOURCC('Y', 'V', '1', '2')},
                        {&MEDIASUBTYPE_YUY2, 16, MAKEFOURCC('Y', 'U', 'Y', '2')},
                        {&MEDIASUBTYPE_RGB32, 32, BI_RGB},
                        {&MEDIASUBTYPE_RGB24, 24, BI_RGB},
                        {&MEDIASUBTYPE_RGB565, 16, BI_BITFIELDS},
                        {&MEDIASUBTYPE_RGB555, 16, BI_RGB},
                        {&MEDIASUBTYPE_UYVY, 16, MAKEFOURCC('U', 'Y', 'V', 'Y')},
                        {&MEDIASUBTYPE_Y41P, 12, MAKEFOURCC('Y', '4', '1', 'P')},
                        {&MEDIASUBTYPE_RGB8, 8, BI_RGB}};
  BITMAPINFOHEADER header{};
  header.biSize = sizeof(BITMAPINFOHEADER);
  header.biWidth = width;
  header.biHeight = topDown ? -height : height;
  header.biPlanes = 1;
  for (const Bits& b : table) {
    if (*b.subtype == subtype) {
      header.biBitCount = b.bits;
      header.biCompression = b.compression;
    }
  }
  CMediaType mt(&MEDIATYPE_Video);
  mt.SetSubtype(&subtype);
  mt.SetTemporalCompression(FALSE);
  // Bit fields follow the header: the 5-6-5 masks.
  const DWORD masks[3] = {0xF800, 0x07E0, 0x001F};
  const ULONG extra = header.biCompression == BI_BITFIELDS ? sizeof(masks) : 0;
  BYTE* block;
  if (info2) {
    mt.SetFormatType(&FORMAT_VideoInfo2);
    block = mt.AllocFormatBuffer(sizeof(VIDEOINFOHEADER2) + extra);
    auto* info = reinterpret_cast<VIDEOINFOHEADER2*>(block);
    info->AvgTimePerFrame = 400000;
    info->bmiHeader = header;
    block += sizeof(VIDEOINFOHEADER2);
  } else {
    mt.SetFormatType(&FORMAT_VideoInfo);
    block = mt.AllocFormatBuffer(sizeof(VIDEOINFOHEADER) + extra);
    auto* info = reinterpret_cast<VIDEOINFOHEADER*>(block);
    info->AvgTimePerFrame = 400000;
    info->bmiHeader = header;
    block += sizeof(VIDEOINFOHEADER);
  }
  std::memcpy(block, masks, extra);
  return mt;
}

std::vector<BYTE> NoisePicture(const VideoFormat& format, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<BYTE> bytes(format.ImageSize());
  for (BYTE& b : bytes) b = static_cast<BYTE>(random());
  return bytes;
}

std::vector<BYTE> QuadrantPicture(int width, int height) {
  std::vector<BYTE> bytes(static_cast<size_t>(width) * height * 4);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const QRgb c = kQuadrantColours[(y >= height / 2 ? 2 : 0) + (x >= width / 2 ? 1 : 0)];
      BYTE* p = &bytes[(static_cast<size_t>(y) * width + x) * 4];
      p[0] = static_cast<BYTE>(qBlue(c));
      p[1] = static_cast<BYTE>(qGreen(c));
      p[2] = static_cast<BYTE>(qRed(c));
      p[3] = 0;
    }
  }
  return bytes;
}

void RendererGraph::SetUp() {
  ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder, graph.ReceiveVoid()),
            S_OK);
  control = graph.As<IMediaControl>(IID_IMediaControl);
  events = graph.As<IMediaEventEx>(IID_IMediaEventEx);
  HRESULT hr = S_OK;
  source = new ScriptedSource(nullptr, &hr);
  sourceFilter = Adopt<IBaseFilter>(source, IID_IBaseFilter);
  clock = new ManualClock(&hr);
  clockRef = Adopt<IReferenceClock>(clock, IID_IReferenceClock);
}

void RendererGraph::TearDown() {
  if (control) control->Stop();
}

void RendererGraph::Build(const CMediaType& type, REFCLSID clsid, LONG bufferSize) {
  ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, renderer.ReceiveVoid()), S_OK);
  probe = renderer.As<IVideoRendererProbe>(IID_IVideoRendererProbe);
  window = renderer.As<IVideoWindow>(IID_IVideoWindow);
  video = renderer.As<IBasicVideo>(IID_IBasicVideo);
  source->SetMediaType(type);
  VideoFormat format;
  ASSERT_EQ(ReadVideoFormat(type, &format), S_OK);
  source->SetBuffers(1, std::max(bufferSize, static_cast<LONG>(format.ImageSize())));
  ASSERT_EQ(graph->AddFilter(sourceFilter.Get(), u"source"), S_OK);
  ASSERT_EQ(graph->AddFilter(renderer.Get(), u"Video Renderer"), S_OK);
  ASSERT_EQ(graph->ConnectDirect(PinOf(sourceFilter.Get(), u"1").Get(), PinOf(renderer.Get(), u"In").Get(), nullptr),
            S_OK);
  ASSERT_EQ(graph.As<IMediaFilter>(IID_IMediaFilter)->SetSyncSource(clockRef.Get()), S_OK);
}

void RendererGraph::Run() { ASSERT_EQ(control->Run(), S_OK); }

long RendererGraph::NextEvent(long milliseconds) {
  long code;
  LONG_PTR p1, p2;
  if (events->GetEvent(&code, &p1, &p2, milliseconds) != S_OK) return 0;
  events->FreeEventParams(code, p1, p2);
  return code;
}

}  // namespace tlx::dshow::video::test

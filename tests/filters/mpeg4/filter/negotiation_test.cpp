// Negotiation: the input types the filter takes and what it keeps of them,
// the output types it offers (byte for byte), the ones it accepts, the
// buffer it asks for, and the decoder's format code and stride per type.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "filter_harness.h"
#include "filters/streaming_client/tlx_media_subtypes.h"
#include "platform/dshow/graph_fixture.h"

namespace tlx::mpeg4::filtertest {
namespace {

using dshow::test::Adopt;

struct Filter {
  Filter() {
    HRESULT hr = S_OK;
    filter = new CMpeg4VideoDecoderFilter(nullptr, &hr);
    object = Adopt<IBaseFilter>(filter, IID_IBaseFilter);
    filter->GetPin(0);  // the pins are made on first use
  }
  // The input pin's type, as a connection leaves it.
  void SetInput(const CMediaType& mt) {
    ASSERT_EQ(filter->CheckInputType(&mt), S_OK);
    ASSERT_EQ(filter->InputPin()->SetMediaType(&mt), S_OK);
  }
  CMpeg4VideoDecoderFilter* filter;
  ComPtr<IBaseFilter> object;
};

CMediaType OutputType(const GUID& subtype, LONG width, LONG height, WORD bitCount, RECT source = {},
                      RECT target = {}) {
  CMediaType mt(&MEDIATYPE_Video);
  mt.SetSubtype(&subtype);
  mt.SetFormatType(&FORMAT_VideoInfo);
  auto* info = reinterpret_cast<VIDEOINFOHEADER*>(mt.AllocFormatBuffer(sizeof(VIDEOINFOHEADER)));
  info->rcSource = source;
  info->rcTarget = target;
  info->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info->bmiHeader.biWidth = width;
  info->bmiHeader.biHeight = height;
  info->bmiHeader.biBitCount = bitCount;
  return mt;
}

TEST(Negotiation, InputTypesAreTakenOrRefused) {
  const std::vector<uint8_t> prefixed152 = [] {
    std::vector<uint8_t> bytes(152, 0x55);
    bytes[0] = bytes[1] = 0;
    bytes[2] = 1;
    return bytes;
  }();
  std::vector<uint8_t> prefixed153 = prefixed152;
  prefixed153.push_back(0x55);
  struct Case {
    const char* what;
    CMediaType type;
    HRESULT expected;
  };
  CMediaType audio = Mpeg4InputType(176, 144);
  audio.SetType(&MEDIATYPE_Audio);
  CMediaType info2 = Mpeg4InputType(176, 144);
  info2.SetFormatType(&FORMAT_VideoInfo2);
  CMediaType shortBlock = Mpeg4InputType(176, 144, {});
  shortBlock.ReallocFormatBuffer(sizeof(VIDEOINFOHEADER) - 1);
  const Case cases[] = {
      {"MP4S, network block", Mpeg4InputType(176, 144), S_OK},
      {"TlxMP4V, network block", Mpeg4InputType(176, 144, kNetworkExtra, MEDIASUBTYPE_TlxMP4V), S_OK},
      {"no extra bytes", Mpeg4InputType(176, 144, {}), S_OK},
      {"152 decoder-specific bytes", Mpeg4InputType(176, 144, prefixed152), S_OK},
      {"153 decoder-specific bytes", Mpeg4InputType(176, 144, prefixed153), E_INVALIDARG},
      {"200 bytes that are no decoder-specific bytes", Mpeg4InputType(176, 144, std::vector<uint8_t>(200, 7)), S_OK},
      {"mp4v subtype", Mpeg4InputType(176, 144, kNetworkExtra, MEDIASUBTYPE_mp4v), E_INVALIDARG},
      {"audio major type", audio, E_INVALIDARG},
      {"VIDEOINFOHEADER2 format", info2, E_INVALIDARG},
      {"block shorter than a VIDEOINFOHEADER", shortBlock, E_INVALIDARG},
  };
  for (const Case& c : cases) {
    Filter f;
    EXPECT_EQ(f.filter->CheckInputType(&c.type), c.expected) << c.what;
  }
}

// The bytes an offered type's block must hold: the input's header start,
// the picture's header, what follows it, the two saved bytes at the end.
struct Offered {
  const GUID* subtype;
  WORD bitCount;
  DWORD compression;
  ULONG blockBytes;
  DWORD sizeImage;  // 176 x 144
};

TEST(Negotiation, OffersSevenTypesWithByteExactBlocks) {
  Filter f;
  const std::vector<uint8_t> extra = {0x00, 0x00, 0x01, 0xB0, 0xAB, 0xCD};
  const CMediaType input = Mpeg4InputType(176, 144, extra);
  f.SetInput(input);
  const Offered offered[] = {
      {&MEDIASUBTYPE_Y41P, 12, MAKEFOURCC('Y', '4', '1', 'P'), 90, 264 * 144},
      {&MEDIASUBTYPE_YUY2, 16, MAKEFOURCC('Y', 'U', 'Y', '2'), 90, 352 * 144},
      {&MEDIASUBTYPE_UYVY, 16, MAKEFOURCC('U', 'Y', 'V', 'Y'), 90, 352 * 144},
      {&MEDIASUBTYPE_RGB24, 24, BI_RGB, 90, 528 * 144},
      {&MEDIASUBTYPE_RGB565, 16, BI_BITFIELDS, 102, 352 * 144},
      {&MEDIASUBTYPE_RGB555, 16, BI_RGB, 90, 352 * 144},
      {&MEDIASUBTYPE_RGB8, 8, BI_RGB, 1114, 176 * 144},
  };
  for (int position = 0; position < 7; ++position) {
    const Offered& o = offered[position];
    CMediaType mt;
    ASSERT_EQ(f.filter->GetMediaType(position, &mt), S_OK) << position;
    EXPECT_EQ(*mt.Type(), MEDIATYPE_Video);
    EXPECT_EQ(*mt.Subtype(), *o.subtype) << position;
    EXPECT_EQ(*mt.FormatType(), FORMAT_VideoInfo);
    EXPECT_FALSE(mt.IsTemporalCompressed());
    EXPECT_EQ(mt.GetSampleSize(), o.sizeImage);

    std::vector<uint8_t> expected(o.blockBytes, 0);
    std::memcpy(expected.data(), input.Format(), sizeof(VIDEOINFOHEADER));
    VIDEOINFOHEADER info;
    std::memcpy(&info, input.Format(), sizeof info);
    info.dwBitRate = o.sizeImage * 200;  // bits per picture at 25 pictures a second
    info.dwBitErrorRate = 0;
    info.bmiHeader = BITMAPINFOHEADER{40, 176, 144, 1, o.bitCount, o.compression, o.sizeImage, 0, 0, 0, 0};
    if (position == 6) info.bmiHeader.biClrUsed = 256;
    std::memcpy(expected.data(), &info, sizeof info);
    if (position == 4) {
      const DWORD masks[3] = {0xF800, 0x07E0, 0x001F};
      std::memcpy(expected.data() + 88, masks, sizeof masks);
    }
    if (position == 6) {
      for (int i = 0; i < 256; ++i) std::memset(expected.data() + 88 + 4 * i, i, 3);
      // The static colours: black, dark red, ..., sky blue; cream, ..., white.
      const uint8_t low[10][3] = {{0, 0, 0},     {0, 0, 128},   {0, 128, 0},     {0, 128, 128},   {128, 0, 0},
                                  {128, 0, 128}, {128, 128, 0}, {192, 192, 192}, {192, 220, 192}, {240, 202, 166}};
      const uint8_t high[10][3] = {{240, 251, 255}, {164, 160, 160}, {128, 128, 128}, {0, 0, 255},
                                   {0, 255, 0},     {0, 255, 255},   {255, 0, 0},     {255, 0, 255},
                                   {255, 255, 0},   {255, 255, 255}};
      for (int i = 0; i < 10; ++i) {
        std::memcpy(expected.data() + 88 + 4 * i, low[i], 3);
        std::memcpy(expected.data() + 88 + 4 * (246 + i), high[i], 3);
      }
    }
    expected[o.blockBytes - 2] = 0xAB;
    expected[o.blockBytes - 1] = 0xCD;
    ASSERT_EQ(mt.FormatLength(), o.blockBytes) << position;
    EXPECT_EQ(std::vector<uint8_t>(mt.Format(), mt.Format() + mt.FormatLength()), expected) << position;
  }
  CMediaType mt;
  EXPECT_EQ(f.filter->GetMediaType(7, &mt), VFW_S_NO_MORE_ITEMS);
  EXPECT_EQ(f.filter->GetMediaType(-1, &mt), E_INVALIDARG);
}

TEST(Negotiation, AnInputWithoutFrameTimeOrVideoBlockGivesTheWholePictureAndAnUnknownBitRate) {
  Filter f;
  f.SetInput(Mpeg4InputType(176, 144, kNetworkExtra, MEDIASUBTYPE_MP4S, 0));
  CMediaType mt;
  ASSERT_EQ(f.filter->GetMediaType(1, &mt), S_OK);
  EXPECT_EQ(reinterpret_cast<const VIDEOINFOHEADER*>(mt.Format())->dwBitRate, 0xFFFFFFFFu)
      << "MulDiv of a zero frame time";
  // An input pin whose type is not video: the rectangles are the picture's.
  CMediaType audio(&MEDIATYPE_Audio);
  audio.SetFormatType(&FORMAT_WaveFormatEx);
  audio.AllocFormatBuffer(18);
  ASSERT_EQ(f.filter->InputPin()->SetMediaType(&audio), S_OK);
  ASSERT_EQ(f.filter->GetMediaType(3, &mt), S_OK);
  const auto* info = reinterpret_cast<const VIDEOINFOHEADER*>(mt.Format());
  EXPECT_EQ(info->rcSource.right, 176);
  EXPECT_EQ(info->rcTarget.bottom, 144);
  EXPECT_EQ(info->AvgTimePerFrame, 0);
  EXPECT_EQ(info->bmiHeader.biBitCount, 24);
}

TEST(Negotiation, AcceptsOnlyTheFourOutputTypesOfThePicturesSize) {
  const RECT whole{0, 0, 176, 144};
  struct Case {
    const char* what;
    int inputWidth;
    CMediaType output;
    HRESULT expected;
  };
  CMediaType notVideo = OutputType(MEDIASUBTYPE_YUY2, 176, 144, 16);
  notVideo.SetType(&MEDIATYPE_Audio);
  const Case cases[] = {
      {"YUY2", 176, OutputType(MEDIASUBTYPE_YUY2, 176, 144, 16), S_OK},
      {"YUY2 top-down", 176, OutputType(MEDIASUBTYPE_YUY2, 176, -144, 16), S_OK},
      {"YUY2 of a width not a multiple of 16", 184, OutputType(MEDIASUBTYPE_YUY2, 184, 144, 16),
       VFW_E_TYPE_NOT_ACCEPTED},
      {"RGB24", 176, OutputType(MEDIASUBTYPE_RGB24, 176, 144, 24), S_OK},
      {"RGB565 of a width not a multiple of 16", 184, OutputType(MEDIASUBTYPE_RGB565, 184, 144, 16), S_OK},
      {"RGB555 wider than the picture", 176, OutputType(MEDIASUBTYPE_RGB555, 192, 144, 16), S_OK},
      {"RGB24 top-down", 176, OutputType(MEDIASUBTYPE_RGB24, 176, -144, 24), VFW_E_TYPE_NOT_ACCEPTED},
      {"RGB565 narrower", 176, OutputType(MEDIASUBTYPE_RGB565, 160, 144, 16), VFW_E_TYPE_NOT_ACCEPTED},
      {"RGB565 of another height", 176, OutputType(MEDIASUBTYPE_RGB565, 176, 120, 16), VFW_E_TYPE_NOT_ACCEPTED},
      {"Y41P", 176, OutputType(MEDIASUBTYPE_Y41P, 176, 144, 12), VFW_E_TYPE_NOT_ACCEPTED},
      {"UYVY", 176, OutputType(MEDIASUBTYPE_UYVY, 176, 144, 16), VFW_E_TYPE_NOT_ACCEPTED},
      {"RGB8", 176, OutputType(MEDIASUBTYPE_RGB8, 176, 144, 8), VFW_E_TYPE_NOT_ACCEPTED},
      {"RGB32", 176, OutputType(MEDIASUBTYPE_RGB32, 176, 144, 32), VFW_E_TYPE_NOT_ACCEPTED},
      {"not video", 176, notVideo, VFW_E_TYPE_NOT_ACCEPTED},
      {"whole rectangles", 176, OutputType(MEDIASUBTYPE_RGB24, 176, 144, 24, whole, whole), S_OK},
      {"moved target of the picture's size", 176,
       OutputType(MEDIASUBTYPE_RGB24, 176, 144, 24, whole, RECT{10, 10, 186, 154}), S_OK},
      {"part of the picture", 176, OutputType(MEDIASUBTYPE_RGB24, 176, 144, 24, RECT{0, 0, 100, 100}, whole),
       E_FAIL},
      {"target of another size", 176, OutputType(MEDIASUBTYPE_RGB24, 176, 144, 24, whole, RECT{0, 0, 100, 144}),
       E_FAIL},
  };
  for (const Case& c : cases) {
    Filter f;
    const CMediaType input = Mpeg4InputType(c.inputWidth, 144);
    ASSERT_EQ(f.filter->CheckInputType(&input), S_OK);
    EXPECT_EQ(f.filter->CheckTransform(&input, &c.output), c.expected) << c.what;
  }
}

// An allocator that never gives more than `limit` bytes a buffer.
class ShortAllocator final : public CMemAllocator {
 public:
  ShortAllocator(HRESULT* hr, LONG limit) : CMemAllocator("short", nullptr, hr), limit_(limit) {}
  STDMETHODIMP SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) override {
    ALLOCATOR_PROPERTIES capped = *request;
    capped.cbBuffer = std::min(capped.cbBuffer, limit_);
    return CMemAllocator::SetProperties(&capped, actual);
  }

 private:
  LONG limit_;
};

TEST(Negotiation, AsksForOneBufferOfTheSampleSizeAndRefusesLess) {
  Filter f;
  f.SetInput(Mpeg4InputType(176, 144));
  CMediaType out;
  ASSERT_EQ(f.filter->GetMediaType(3, &out), S_OK);
  ASSERT_EQ(f.filter->OutputPin()->SetMediaType(&out), S_OK);
  for (const LONG limit : {LONG(1) << 20, LONG(528 * 144 - 1)}) {
    HRESULT hr = S_OK;
    ComPtr<IMemAllocator> allocator = Adopt<IMemAllocator>(new ShortAllocator(&hr, limit), IID_IMemAllocator);
    ALLOCATOR_PROPERTIES request{4, 0, 1, 0};
    const HRESULT decided = f.filter->DecideBufferSize(allocator.Get(), &request);
    EXPECT_EQ(request.cBuffers, 1);
    EXPECT_EQ(request.cbBuffer, 528 * 144);
    EXPECT_EQ(decided, limit >= 528 * 144 ? S_OK : E_INVALIDARG) << limit;
  }
}

TEST(Negotiation, FormatCodeAndStrideFollowTheOutputTypeAndItsHeight) {
  struct Case {
    const GUID* subtype;
    LONG width, height;
    WORD bitCount;
    uint32_t code;
    int32_t stride;
  };
  const Case cases[] = {
      {&MEDIASUBTYPE_YUY2, 176, 144, 16, 0x02000000, 352},  {&MEDIASUBTYPE_YUY2, 176, -144, 16, 0x02000000, 352},
      {&MEDIASUBTYPE_RGB24, 176, 144, 24, 0x30000001, 528}, {&MEDIASUBTYPE_RGB24, 175, -144, 24, 0x30000000, 528},
      {&MEDIASUBTYPE_RGB565, 176, 1, 16, 0x20000001, 352},  {&MEDIASUBTYPE_RGB565, 173, 0, 16, 0x20000000, 348},
      {&MEDIASUBTYPE_RGB555, 200, 144, 16, 0x10000001, 400}, {&MEDIASUBTYPE_RGB555, 176, -1, 16, 0x10000000, 352},
      {&MEDIASUBTYPE_RGB32, 176, 144, 32, 0x02000000, 704},
  };
  Filter f;
  for (const Case& c : cases) {
    const CMediaType mt = OutputType(*c.subtype, c.width, c.height, c.bitCount);
    ASSERT_EQ(f.filter->SetMediaType(PINDIR_OUTPUT, &mt), S_OK);
    EXPECT_EQ(f.filter->Frame().outputFormat, c.code) << c.width << "x" << c.height << " " << c.bitCount;
    EXPECT_EQ(f.filter->Frame().outputStride, c.stride) << c.width << "x" << c.height << " " << c.bitCount;
  }
}

}  // namespace
}  // namespace tlx::mpeg4::filtertest

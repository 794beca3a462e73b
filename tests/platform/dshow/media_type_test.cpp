#include "dshow/media_type.h"

#include <gtest/gtest.h>

#include <cstring>

#include "com/class_registry.h"
#include "com/counted.h"
#include "graph_fixture.h"

namespace tlx::dshow::test {
namespace {

// A type whose format block is exactly `size` bytes of task memory, so the
// address sanitizer sees any read past it.
CMediaType TypeWithBlock(REFGUID format, ULONG size, WORD waveExtra = 0, WORD waveTag = 0, DWORD compression = 0) {
  CMediaType mt;
  mt.SetType(format == FORMAT_WaveFormatEx ? &MEDIATYPE_Audio : &MEDIATYPE_Video);
  mt.SetSubtype(format == FORMAT_WaveFormatEx ? &MEDIASUBTYPE_PCM : &MEDIASUBTYPE_RGB32);
  mt.SetFormatType(&format);
  if (size > 0) {
    BYTE* block = mt.AllocFormatBuffer(size);
    if (format == FORMAT_WaveFormatEx && size >= sizeof(WAVEFORMATEX)) {
      std::memcpy(block + offsetof(WAVEFORMATEX, cbSize), &waveExtra, sizeof waveExtra);
      std::memcpy(block + offsetof(WAVEFORMATEX, wFormatTag), &waveTag, sizeof waveTag);
    }
    const size_t header = format == FORMAT_VideoInfo    ? offsetof(VIDEOINFOHEADER, bmiHeader)
                          : format == FORMAT_VideoInfo2 ? offsetof(VIDEOINFOHEADER2, bmiHeader)
                                                        : size;
    if (header + sizeof(BITMAPINFOHEADER) <= size) {
      std::memcpy(block + header + offsetof(BITMAPINFOHEADER, biCompression), &compression, sizeof compression);
    }
  }
  return mt;
}

TEST(MediaType, FormatBlocksMustCoverTheirType) {
  struct Case {
    const char* what;
    GUID format;
    ULONG size;
    WORD waveExtra;
    bool valid;
    WORD waveTag;
    DWORD compression;
  } cases[] = {
      {"video info", FORMAT_VideoInfo, 88, 0, true},
      {"video info one byte short", FORMAT_VideoInfo, 87, 0, false},
      {"video info 2", FORMAT_VideoInfo2, 112, 0, true},
      {"video info 2 short", FORMAT_VideoInfo2, 88, 0, false},
      {"wave format", FORMAT_WaveFormatEx, 18, 0, true},
      {"wave format short", FORMAT_WaveFormatEx, 16, 0, false},
      {"wave format with its extra bytes", FORMAT_WaveFormatEx, 40, 22, true},
      {"wave format announcing more than it has", FORMAT_WaveFormatEx, 30, 22, false},
      {"extensible wave format", FORMAT_WaveFormatEx, 40, 22, true, WAVE_FORMAT_EXTENSIBLE},
      {"extensible tag on a plain wave format", FORMAT_WaveFormatEx, 18, 0, false, WAVE_FORMAT_EXTENSIBLE},
      {"extensible tag with too few extra bytes", FORMAT_WaveFormatEx, 30, 12, false, WAVE_FORMAT_EXTENSIBLE},
      {"bit fields with their three masks", FORMAT_VideoInfo, 100, 0, true, 0, BI_BITFIELDS},
      {"bit fields without their masks", FORMAT_VideoInfo, 88, 0, false, 0, BI_BITFIELDS},
      {"bit fields with their three masks, video info 2", FORMAT_VideoInfo2, 124, 0, true, 0, BI_BITFIELDS},
      {"bit fields with one mask, video info 2", FORMAT_VideoInfo2, 116, 0, false, 0, BI_BITFIELDS},
      {"missing block", FORMAT_VideoInfo, 0, 0, false},
      {"no format", FORMAT_None, 0, 0, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsFormatBlockValid(TypeWithBlock(c.format, c.size, c.waveExtra, c.waveTag, c.compression)), c.valid) << c.what;
  }
  CMediaType dangling = TypeWithBlock(FORMAT_None, 0);
  dangling.cbFormat = 4;  // a size without a block
  EXPECT_FALSE(IsFormatBlockValid(dangling));
  dangling.cbFormat = 0;
}

TEST(MediaType, CopiesOwnTheirBlockAndCompareByContent) {
  CMediaType a = TypeWithBlock(FORMAT_VideoInfo, sizeof(VIDEOINFOHEADER));
  reinterpret_cast<VIDEOINFOHEADER*>(a.Format())->bmiHeader.biWidth = 320;
  CMediaType b(a);
  EXPECT_NE(a.Format(), b.Format());
  EXPECT_TRUE(a == b);
  reinterpret_cast<VIDEOINFOHEADER*>(b.Format())->bmiHeader.biWidth = 640;
  EXPECT_FALSE(a == b);

  AM_MEDIA_TYPE* heap = CreateMediaType(&a);
  ASSERT_NE(heap, nullptr);
  EXPECT_TRUE(CMediaType(*heap) == a);
  DeleteMediaType(heap);

  CMediaType partial;
  partial.majortype = MEDIATYPE_Video;  // subtype and format left open
  EXPECT_TRUE(partial.IsPartiallySpecified());
  EXPECT_TRUE(a.MatchesPartial(&partial));
  partial.subtype = MEDIASUBTYPE_YUY2;
  EXPECT_FALSE(a.MatchesPartial(&partial));
}

TEST(MediaType, SetFormatTakesItsSourceFromTheBlockItReplaces) {
  CMediaType mt;
  const BYTE bytes[] = {1, 2, 3, 4, 5, 6, 7, 8};
  ASSERT_TRUE(mt.SetFormat(bytes, sizeof bytes));
  ASSERT_TRUE(mt.SetFormat(mt.Format() + 2, 4));  // a tail of itself, smaller
  ASSERT_EQ(mt.FormatLength(), 4u);
  EXPECT_EQ(0, std::memcmp(mt.Format(), bytes + 2, 4));
  ASSERT_TRUE(mt.SetFormat(mt.Format(), mt.FormatLength()));  // itself, same size
  EXPECT_EQ(0, std::memcmp(mt.Format(), bytes + 2, 4));
  EXPECT_FALSE(mt.SetFormat(nullptr, 4));
  EXPECT_EQ(0, std::memcmp(mt.Format(), bytes + 2, 4)) << "a refused format keeps the old block";
}

// An object that only counts its references.
class CountedObject final : public com::Counted<IUnknown> {
 public:
  HRESULT QueryInterface(REFIID iid, void** object) override { return Answer(iid, IID_IUnknown, object); }
};

TEST(MediaType, AFailedCopyHoldsNoReferenceItDidNotTake) {
  auto* object = new CountedObject();  // the source's reference
  object->AddRef();                     // and the test's own
  AM_MEDIA_TYPE source{};
  source.pUnk = object;
  source.cbFormat = 4;  // a size without a block
  AM_MEDIA_TYPE target{};
  EXPECT_EQ(CopyMediaType(&target, &source), E_INVALIDARG);
  FreeMediaType(target);  // what a caller does with the record either way
  const ULONG references = object->AddRef();
  EXPECT_EQ(references, 3u) << "the copy released a reference it never held";
  for (ULONG i = 0; i < references; ++i) object->Release();
}

// A renderer that reads the video header of every type it is offered, as a
// real video renderer does.
class HeaderReadingRenderer final : public CBaseRenderer {
 public:
  explicit HeaderReadingRenderer(HRESULT* hr) : CBaseRenderer(GUID_NULL, "header reader", nullptr, hr) {}
  HRESULT CheckMediaType(const CMediaType* mt) override {
    ++checked;
    if (*mt->FormatType() != FORMAT_VideoInfo) return E_FAIL;
    auto* header = reinterpret_cast<const VIDEOINFOHEADER*>(mt->Format());
    return header->bmiHeader.biWidth >= 0 ? S_OK : E_FAIL;
  }
  HRESULT DoRenderSample(IMediaSample*) override { return S_OK; }
  int checked = 0;
};

TEST(MediaType, AShortFormatBlockIsRefusedBeforeAnyoneReadsIt) {
  HRESULT hr = S_OK;
  auto* reader = new HeaderReadingRenderer(&hr);
  ComPtr<IBaseFilter> filter = Adopt<IBaseFilter>(reader, IID_IBaseFilter);
  auto* source = new ScriptedSource(nullptr, &hr);
  ComPtr<IBaseFilter> sourceFilter = Adopt<IBaseFilter>(source, IID_IBaseFilter);
  ComPtr<IPin> in = PinOf(filter.Get(), u"In");
  ComPtr<IPin> out = PinOf(sourceFilter.Get(), u"1");

  CMediaType shortType = TypeWithBlock(FORMAT_VideoInfo, 40);
  EXPECT_EQ(in->QueryAccept(&shortType), S_FALSE);
  source->SetMediaType(shortType);
  EXPECT_EQ(out->Connect(in.Get(), &shortType), VFW_E_TYPE_NOT_ACCEPTED);
  EXPECT_EQ(out->Connect(in.Get(), nullptr), VFW_E_NO_ACCEPTABLE_TYPES);
  EXPECT_EQ(reader->checked, 0);

  CMediaType good = TypeWithBlock(FORMAT_VideoInfo, sizeof(VIDEOINFOHEADER));
  source->SetMediaType(good);
  EXPECT_EQ(out->Connect(in.Get(), nullptr), S_OK);
  EXPECT_EQ(reader->checked, 1);
  out->Disconnect();
  in->Disconnect();
}

}  // namespace
}  // namespace tlx::dshow::test

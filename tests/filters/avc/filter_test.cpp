// The filter's types, buffers, mode, connections, page and registration.
#include <gtest/gtest.h>

#include <cstring>

#include "dshow/base_renderer.h"
#include "dshow/errors.h"
#include "dshow/filter_category.h"
#include "dshow/filter_module.h"
#include "filter_harness.h"
#include "filters/avc/avc_dec_filter.h"
#include "filters/avc/avc_dec_property_page.h"
#include "outside/avccore/support/core_library.h"

namespace tlx::avc {
namespace {

using avctest::AvcInputType;
using avctest::ComPtr;
using avctest::DecoderGraph;
using avctest::ModuleFolder;
using dshow::test::Adopt;
using dshow::test::PinOf;

TLX_GUID(MEDIASUBTYPE_NV12, 0x3231564E, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71);

// A filter object of the test program itself, which binds the real core
// beside the program.
struct DirectFilter {
  DirectFilter() {
    HRESULT hr = S_OK;
    filter = new CAvcDecFilter(nullptr, &hr, [](DWORD) {});
    EXPECT_EQ(hr, S_OK);
    base = Adopt<IBaseFilter>(filter, IID_IBaseFilter);
  }
  CAvcDecFilter* filter;
  ComPtr<IBaseFilter> base;
};

TEST(AvcDecFilter, InputTypes) {
  struct Case {
    const char* name;
    CMediaType type;
    HRESULT result;
  };
  CMediaType emptySource = AvcInputType(MEDIASUBTYPE_TlxAVC, 640, 480);
  reinterpret_cast<VIDEOINFOHEADER2*>(emptySource.Format())->rcSource = RECT{0, 0, 0, 0};
  CMediaType shortBlock = AvcInputType(MEDIASUBTYPE_TlxAVC, 640, 480);
  shortBlock.ReallocFormatBuffer(100);
  CMediaType zeroSize = AvcInputType(MEDIASUBTYPE_TlxAVC, 0, 0);
  CMediaType negative = AvcInputType(MEDIASUBTYPE_TlxAVC, 0, 0);
  reinterpret_cast<VIDEOINFOHEADER2*>(negative.Format())->bmiHeader.biHeight = -480;
  reinterpret_cast<VIDEOINFOHEADER2*>(negative.Format())->bmiHeader.biWidth = 640;
  CMediaType otherFormat = AvcInputType(MEDIASUBTYPE_TlxAVC, 640, 480);
  otherFormat.SetFormatType(&FORMAT_VideoInfo);
  CMediaType otherSubtype = AvcInputType(MEDIASUBTYPE_YV12, 640, 480);
  CMediaType noDuration = AvcInputType(MEDIASUBTYPE_TlxAVCC, 640, 480, {}, 0);
  const Case cases[] = {
      {"byte stream 1920x1088", AvcInputType(MEDIASUBTYPE_TlxAVC, 1920, 1088), S_OK},
      {"samples 1920x1088", AvcInputType(MEDIASUBTYPE_TlxAVCC, 1920, 1088), S_OK},
      {"1921 wide", AvcInputType(MEDIASUBTYPE_TlxAVC, 1921, 1080), E_INVALIDARG},
      {"1090 high", AvcInputType(MEDIASUBTYPE_TlxAVC, 1920, 1090), E_INVALIDARG},
      {"empty source rectangle", emptySource, S_OK},
      {"no frame duration", noDuration, S_OK},
      {"short format block", shortBlock, E_INVALIDARG},
      {"zero size", zeroSize, E_INVALIDARG},
      {"negative height", negative, E_INVALIDARG},
      {"other format type", otherFormat, E_INVALIDARG},
      {"other subtype", otherSubtype, E_INVALIDARG},
  };
  DirectFilter direct;
  for (const Case& c : cases) EXPECT_EQ(direct.filter->CheckInputType(&c.type), c.result) << c.name;
}

// The offered output types, byte for byte where it matters.
TEST(AvcDecFilter, OutputTypesFollowTheInput) {
  DirectFilter direct;
  CMediaType input = AvcInputType(MEDIASUBTYPE_TlxAVC, 0, 0);
  auto* in = reinterpret_cast<VIDEOINFOHEADER2*>(input.Format());
  in->rcSource = RECT{0, 0, 0, 0};
  in->bmiHeader.biWidth = 718;
  in->bmiHeader.biHeight = 480;
  in->dwPictAspectRatioX = 16;
  in->dwPictAspectRatioY = 9;
  DecoderGraph graph(direct.base.Get(), input);
  ASSERT_EQ(graph.inputConnect, S_OK);
  struct Expected {
    GUID subtype;
    ULONG formatLength;
    DWORD compression;
    WORD bitCount;
    DWORD sizeImage;
  };
  const Expected expected[] = {
      {MEDIASUBTYPE_YV12, 112, 0x32315659, 12, 1080 * 480},
      {MEDIASUBTYPE_YUY2, 112, 0x32595559, 16, 1436 * 480},
      {MEDIASUBTYPE_RGB32, 112, BI_RGB, 32, 2872 * 480},
      {MEDIASUBTYPE_RGB24, 112, BI_RGB, 24, 2156 * 480},
      {MEDIASUBTYPE_RGB565, 124, BI_BITFIELDS, 16, 1436 * 480},
  };
  for (int position = 0; position < 5; ++position) {
    SCOPED_TRACE(position);
    CMediaType mt;
    ASSERT_EQ(direct.filter->GetMediaType(position, &mt), S_OK);
    const Expected& e = expected[position];
    EXPECT_EQ(mt.subtype, e.subtype);
    EXPECT_EQ(mt.majortype, MEDIATYPE_Video);
    EXPECT_EQ(mt.formattype, FORMAT_VideoInfo2);
    EXPECT_FALSE(mt.IsTemporalCompressed());
    ASSERT_EQ(mt.FormatLength(), e.formatLength);
    const auto* info = reinterpret_cast<const VIDEOINFOHEADER2*>(mt.Format());
    EXPECT_EQ(info->rcSource.right, 0);
    EXPECT_EQ(info->rcTarget.right, 0);
    EXPECT_EQ(info->dwPictAspectRatioX, 16u);
    EXPECT_EQ(info->dwPictAspectRatioY, 9u);
    EXPECT_EQ(info->AvgTimePerFrame, 333667);
    EXPECT_EQ(info->dwInterlaceFlags, 0u);
    EXPECT_EQ(info->bmiHeader.biSize, 40u);
    EXPECT_EQ(info->bmiHeader.biWidth, 718);
    EXPECT_EQ(info->bmiHeader.biHeight, 480);
    EXPECT_EQ(info->bmiHeader.biPlanes, 1);
    EXPECT_EQ(info->bmiHeader.biBitCount, e.bitCount);
    EXPECT_EQ(info->bmiHeader.biCompression, e.compression);
    EXPECT_EQ(info->bmiHeader.biSizeImage, e.sizeImage);
    EXPECT_EQ(mt.GetSampleSize(), e.sizeImage);
    if (e.formatLength == 124) {
      DWORD masks[3];
      std::memcpy(masks, mt.Format() + 112, sizeof masks);
      EXPECT_EQ(masks[0], 0xF800u);
      EXPECT_EQ(masks[1], 0x07E0u);
      EXPECT_EQ(masks[2], 0x001Fu);
    }
  }
  CMediaType mt;
  EXPECT_EQ(direct.filter->GetMediaType(5, &mt), VFW_S_NO_MORE_ITEMS);
  EXPECT_EQ(direct.filter->GetMediaType(-1, &mt), E_INVALIDARG);
}

TEST(AvcDecFilter, OnlyTheOfferedSubtypesConnect) {
  DirectFilter direct;
  const CMediaType input = AvcInputType(MEDIASUBTYPE_TlxAVC, 320, 240);
  for (const GUID& subtype : {MEDIASUBTYPE_YV12, MEDIASUBTYPE_YUY2, MEDIASUBTYPE_RGB32, MEDIASUBTYPE_RGB24,
                              MEDIASUBTYPE_RGB565, MEDIASUBTYPE_RGB8, MEDIASUBTYPE_RGB555, MEDIASUBTYPE_NV12}) {
    CMediaType output = AvcInputType(subtype, 320, 240);
    const bool offered = subtype != MEDIASUBTYPE_RGB8 && subtype != MEDIASUBTYPE_RGB555 && subtype != MEDIASUBTYPE_NV12;
    EXPECT_EQ(direct.filter->CheckTransform(&input, &output), offered ? S_OK : VFW_E_TYPE_NOT_ACCEPTED);
  }
  CMediaType noFormat = AvcInputType(MEDIASUBTYPE_YV12, 320, 240);
  noFormat.ResetFormatBuffer();
  EXPECT_EQ(direct.filter->CheckTransform(&input, &noFormat), E_INVALIDARG);
}

// For every subtype at widths the rows do not fill evenly, the buffer holds
// every row the worker writes.
TEST(AvcDecFilter, BuffersHoldTheAlignedRows) {
  for (const int width : {718, 715}) {
    DirectFilter direct;
    DecoderGraph graph(direct.base.Get(), AvcInputType(MEDIASUBTYPE_TlxAVC, width, 480));
    ASSERT_EQ(graph.inputConnect, S_OK);
    for (int position = 0; position < 5; ++position) {
      SCOPED_TRACE(testing::Message() << width << " position " << position);
      CMediaType mt;
      ASSERT_EQ(direct.filter->GetMediaType(position, &mt), S_OK);
      ASSERT_EQ(direct.filter->OutputPin()->SetMediaType(&mt), S_OK);
      ComPtr<IMemAllocator> allocator;
      ASSERT_EQ(CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator,
                                 allocator.ReceiveVoid()),
                S_OK);
      ALLOCATOR_PROPERTIES request{};
      ASSERT_EQ(direct.filter->DecideBufferSize(allocator.Get(), &request), S_OK);
      ALLOCATOR_PROPERTIES actual{};
      allocator->GetProperties(&actual);
      const int rowBytes = OutputRowBytes(mt.subtype, width);
      const LONG written = mt.subtype == MEDIASUBTYPE_YV12 ? 480 * rowBytes / 2 : 480 * rowBytes;
      EXPECT_GE(actual.cbBuffer, written);
      EXPECT_GE(actual.cBuffers, 1);
    }
  }
}

TEST(AvcDecFilter, ModeIsRefusedWhileConnectedAndTheSettingsFileWins) {
  {
    DirectFilter direct;
    int mode = 0, connected = -1, reserved = -1;
    EXPECT_EQ(direct.filter->GetModeEx(&mode, &connected, &reserved), S_OK);
    EXPECT_EQ(mode, kAvcModeDefault);
    EXPECT_EQ(connected, 0);
    EXPECT_EQ(reserved, 0);
    EXPECT_EQ(direct.filter->SetMode(0x10F), S_OK);
    DecoderGraph graph(direct.base.Get(), AvcInputType(MEDIASUBTYPE_TlxAVC, 320, 240));
    ASSERT_EQ(graph.outputConnect, S_OK);
    EXPECT_EQ(direct.filter->SetMode(0), E_FAIL);
    EXPECT_EQ(direct.filter->GetMode(&mode, &connected), S_OK);
    EXPECT_EQ(mode, 0x10F);
    EXPECT_EQ(connected, 1);
  }
  ModuleFolder folder(avctest::RealCoreFolder(), "[TLXAVC]\nPerfmode=5\n");
  ComPtr<IBaseFilter> filter = folder.CreateFilter();
  ASSERT_TRUE(filter);
  auto mode = filter.As<IAvcDecMode>(IID_IAvcDecMode);
  ASSERT_TRUE(mode);
  int value = 0;
  mode->GetMode(&value, nullptr);
  EXPECT_EQ(value, 5);
  EXPECT_EQ(mode->SetMode(0), S_OK);
  mode->GetMode(&value, nullptr);
  EXPECT_EQ(value, 5);
  EXPECT_TRUE(filter.As<IAvcDecMode>(IID_IAvcDecModePage));
  auto pages = filter.As<ISpecifyPropertyPages>(IID_ISpecifyPropertyPages);
  ASSERT_TRUE(pages);
  CAUUID uuids{};
  ASSERT_EQ(pages->GetPages(&uuids), S_OK);
  ASSERT_EQ(uuids.cElems, 1u);
  EXPECT_EQ(uuids.pElems[0], CLSID_AvcDecPropertyPage);
  CoTaskMemFree(uuids.pElems);
  EXPECT_EQ(pages->GetPages(nullptr), E_POINTER);
}

// A renderer of the class the output refuses.
class RefusedRenderer final : public CBaseRenderer {
 public:
  explicit RefusedRenderer(HRESULT* hr) : CBaseRenderer(CLSID_AvcRefusedRenderer, "refused", nullptr, hr) {}
  HRESULT CheckMediaType(const CMediaType* mt) override {
    return mt->majortype == MEDIATYPE_Video ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
  }
  HRESULT DoRenderSample(IMediaSample*) override { return S_OK; }
};

TEST(AvcDecFilter, ConnectionsMakeAndReleaseTheInstance) {
  DirectFilter direct;
  {
    DecoderGraph graph(direct.base.Get(), AvcInputType(MEDIASUBTYPE_TlxAVC, 320, 240));
    ASSERT_EQ(graph.outputConnect, S_OK);
    EXPECT_TRUE(direct.filter->HasCoreInstance());
    // Breaking the input also ends the worker and the instance.
    ASSERT_EQ(graph.graph->Disconnect(PinOf(direct.base.Get(), u"In").Get()), S_OK);
    EXPECT_FALSE(direct.filter->HasCoreInstance());
  }
  DecoderGraph graph(direct.base.Get(), AvcInputType(MEDIASUBTYPE_TlxAVC, 320, 240));
  ASSERT_EQ(graph.inputConnect, S_OK);
  graph.graph->Disconnect(PinOf(direct.base.Get(), u"Out").Get());
  graph.graph->Disconnect(PinOf(graph.rendererFilter.Get(), u"In").Get());
  HRESULT hr = S_OK;
  auto* refused = new RefusedRenderer(&hr);
  ComPtr<IBaseFilter> refusedFilter = Adopt<IBaseFilter>(refused, IID_IBaseFilter);
  graph.graph->AddFilter(refusedFilter.Get(), u"refused");
  EXPECT_EQ(direct.filter->CompleteConnect(PINDIR_OUTPUT, PinOf(refusedFilter.Get(), u"In").Get()), E_FAIL);
  EXPECT_FALSE(direct.filter->HasCoreInstance());
  graph.graph->RemoveFilter(refusedFilter.Get());
}

TEST(AvcDecPropertyPage, AppliesTheSwitchesToTheMode) {
  DirectFilter direct;
  auto* page = new CAvcDecPropertyPage(nullptr);
  ComPtr<IPropertyPage> pageInterface = Adopt<IPropertyPage>(page, IID_IPropertyPage);
  dshow::test::RecordingPageSite site;
  ASSERT_EQ(pageInterface->SetPageSite(&site), S_OK);
  IUnknown* object = direct.base.Get();
  ASSERT_EQ(pageInterface->SetObjects(1, &object), S_OK);
  ASSERT_EQ(pageInterface->Activate(nullptr, nullptr, FALSE), S_OK);
  EXPECT_TRUE(page->IsControlChecked(kControlMultiThread));
  EXPECT_TRUE(page->IsControlChecked(kControlGpu));
  page->OnReceiveMessage(nullptr, WM_COMMAND, kControlMultiThread, 0);
  EXPECT_FALSE(page->IsControlVisible(kControlGpu));
  EXPECT_TRUE(page->IsControlEnabled(kControlMultiThread));
  EXPECT_EQ(pageInterface->IsPageDirty(), S_OK);
  EXPECT_FALSE(site.changes.empty());
  page->SetControlCheck(kControlMultiThread, false);
  page->SetControlCheck(kControlGpu, false);
  ASSERT_EQ(pageInterface->Apply(), S_OK);
  int mode = 0;
  direct.filter->GetMode(&mode, nullptr);
  EXPECT_EQ(mode, 0x00F);
  EXPECT_FALSE(page->IsControlChecked(kControlMultiThread));
  {
    // While the output is connected the switch cannot be changed.
    DecoderGraph graph(direct.base.Get(), AvcInputType(MEDIASUBTYPE_TlxAVC, 320, 240));
    ASSERT_EQ(graph.outputConnect, S_OK);
    page->OnReceiveMessage(nullptr, WM_COMMAND, kControlMultiThread, 0);
    EXPECT_FALSE(page->IsControlEnabled(kControlMultiThread));
  }
  EXPECT_EQ(pageInterface->Deactivate(), S_OK);
  EXPECT_EQ(pageInterface->SetObjects(0, nullptr), S_OK);
  pageInterface->SetPageSite(nullptr);
  // An object without the mode interface is refused.
  HRESULT hr = S_OK;
  auto* renderer = new RefusedRenderer(&hr);
  ComPtr<IBaseFilter> other = Adopt<IBaseFilter>(renderer, IID_IBaseFilter);
  IUnknown* otherObject = other.Get();
  EXPECT_EQ(pageInterface->SetObjects(1, &otherObject), E_NOINTERFACE);
}

TEST(AvcDecModule, RegistersTheFilterAndItsPage) {
  ModuleFolder folder(avctest::RealCoreFolder());
  ASSERT_EQ(dshow::RegisterFilterModule(folder.ModulePath()), S_OK);
  bool listed = false;
  for (const dshow::CategoryEntry& entry : dshow::CategoryEntries(CLSID_LegacyAmFilterCategory)) {
    if (entry.clsid != CLSID_AvcDecFilter) continue;
    listed = true;
    EXPECT_EQ(entry.friendlyName, u"Marovi AVC Decoder for TLX");
    EXPECT_EQ(entry.merit, 0x200000u);
  }
  EXPECT_TRUE(listed);
  ComPtr<IBaseFilter> filter;
  EXPECT_EQ(CoCreateInstance(CLSID_AvcDecFilter, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, filter.ReceiveVoid()),
            S_OK);
  ComPtr<IPropertyPage> page;
  EXPECT_EQ(CoCreateInstance(CLSID_AvcDecPropertyPage, nullptr, CLSCTX_INPROC_SERVER, IID_IPropertyPage,
                             page.ReceiveVoid()),
            S_OK);
  const AMOVIESETUP_FILTER* setup = AvcDecFilterSetup();
  ASSERT_EQ(setup->nPins, 2u);
  EXPECT_EQ(std::u16string(setup->lpPin[0].strName), u"Input");
  EXPECT_FALSE(setup->lpPin[0].bOutput);
  EXPECT_EQ(std::u16string(setup->lpPin[1].strName), u"Output");
  EXPECT_TRUE(setup->lpPin[1].bOutput);
  EXPECT_EQ(*setup->lpPin[1].lpMediaType->clsMajorType, MEDIATYPE_Video);
  filter.Reset();
  page.Reset();
  EXPECT_EQ(dshow::UnregisterFilterModule(folder.ModulePath()), S_OK);
}

TEST(AvcDecModule, CoreBinding) {
  // No core beside the module: the filter cannot be made.
  {
    ModuleFolder folder("");
    HRESULT hr = S_OK;
    EXPECT_FALSE(folder.CreateFilter(&hr));
    EXPECT_EQ(hr, VFW_E_RUNTIME_ERROR);
  }
  // A core without the instance entry loads; the output connects without an
  // instance.
  ModuleFolder folder(avctest::BinFolder() + "/stub_avccore_no_create");
  HRESULT hr = E_FAIL;
  ComPtr<IBaseFilter> filter = folder.CreateFilter(&hr);
  ASSERT_EQ(hr, S_OK);
  DecoderGraph graph(filter.Get(), AvcInputType(MEDIASUBTYPE_TlxAVC, 320, 240));
  EXPECT_TRUE(SUCCEEDED(graph.outputConnect));
  ComPtr<IPin> connected;
  EXPECT_EQ(PinOf(filter.Get(), u"Out")->ConnectedTo(connected.Receive()), S_OK);
  EXPECT_EQ(graph.control->Run(), S_OK);
  graph.control->Stop();
}

}  // namespace
}  // namespace tlx::avc

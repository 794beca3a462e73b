// The property page's model: what it shows of the filter's block and how it
// reads the controls back.
#include <gtest/gtest.h>

#include <bit>

#include "aac_graph.h"
#include "fake_core.h"
#include "filters/aac/aac_dec_property_page.h"

namespace tlx::aac::test {
namespace {

using dshow::test::RecordingPageSite;
using Page = CAacDecPropertyPage;

class AacPage : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetFake();
    HRESULT hr = S_OK;
    filter = new CAacDecFilter(nullptr, &hr);
    filterUnknown = Adopt<IUnknown>(filter, IID_IUnknown);
    page = new Page(nullptr, &hr);
    pageIface = Adopt<IPropertyPage>(page, IID_IPropertyPage);
    ASSERT_EQ(pageIface->SetPageSite(&site), S_OK);
    IUnknown* object = filterUnknown.Get();
    ASSERT_EQ(pageIface->SetObjects(1, &object), S_OK);
  }
  void TearDown() override {
    if (page->IsActive()) pageIface->Deactivate();
    pageIface->SetObjects(0, nullptr);
    pageIface->SetPageSite(nullptr);
  }

  AacDecParams FilterParams() { return ParamsOf(filter); }
  // Types into the controls, then applies as the user's OK does.
  HRESULT Apply() {
    page->OnReceiveMessage(nullptr, WM_COMMAND, 0, 0);
    return pageIface->Apply();
  }

  CAacDecFilter* filter = nullptr;
  ComPtr<IUnknown> filterUnknown;
  Page* page = nullptr;
  ComPtr<IPropertyPage> pageIface;
  RecordingPageSite site;
};

TEST_F(AacPage, ShowsTheFiltersBlockInItsControls) {
  ASSERT_EQ(pageIface->Activate(nullptr, nullptr, FALSE), S_OK);
  EXPECT_EQ(page->ControlText(Page::kChannels), "2");
  EXPECT_EQ(page->ControlText(Page::kSampleBits), "16");
  EXPECT_EQ(page->ControlText(Page::kBitRate), "128000");
  EXPECT_EQ(page->ControlText(Page::kCutOff), "0");
  EXPECT_EQ(page->ControlText(Page::kJointStereo), "0.500000");
  EXPECT_EQ(page->ControlItems(Page::kSampleRate),
            (std::vector<std::string>{"8000", "11025", "12000", "16000", "22050", "24000", "32000", "44100", "48000",
                                      "64000", "88200", "96000"}));
  EXPECT_EQ(page->ControlSelection(Page::kSampleRate), 7);
  EXPECT_EQ(page->ControlItems(Page::kDownMix), (std::vector<std::string>{"0", "1", "2"}));
  EXPECT_EQ(page->ControlSelection(Page::kDownMix), 0);
  for (int id = Page::kAacModeFirst; id <= Page::kAacModeLast; ++id) {
    EXPECT_EQ(page->IsControlChecked(id), id == Page::kAacModeFirst + 4) << id;
  }
  EXPECT_FALSE(page->IsControlChecked(Page::kTns));
  EXPECT_FALSE(page->IsControlChecked(Page::kReorder));
  EXPECT_EQ(page->ControlText(Page::kChannelOrder), "0 1 ");

  PROPPAGEINFO info{};
  ASSERT_EQ(pageIface->GetPageInfo(&info), S_OK);
  EXPECT_EQ(std::u16string(info.pszTitle), u"Parameters");
  CoTaskMemFree(info.pszTitle);
  EXPECT_EQ(page->DialogId(), 101);
}

TEST_F(AacPage, MessagesMarkThePageDirtyOnlyWhileItIsShown) {
  page->OnReceiveMessage(nullptr, WM_COMMAND, 0, 0);
  EXPECT_EQ(pageIface->IsPageDirty(), S_FALSE);
  ASSERT_EQ(pageIface->Activate(nullptr, nullptr, FALSE), S_OK);
  page->OnReceiveMessage(nullptr, WM_COMMAND + 1, 0, 0);
  EXPECT_EQ(pageIface->IsPageDirty(), S_FALSE);
  page->OnReceiveMessage(nullptr, WM_COMMAND, Page::kBitRate, 0);
  EXPECT_EQ(pageIface->IsPageDirty(), S_OK);
  EXPECT_EQ(site.changes, std::vector<DWORD>{PROPPAGESTATUS_DIRTY});

  // Deactivation reads the controls into the page's copy but sends nothing.
  page->SetControlText(Page::kCutOff, "1234");
  ASSERT_EQ(pageIface->Deactivate(), S_OK);
  EXPECT_EQ(page->Params().cutOff, 1234);
  EXPECT_EQ(FilterParams().cutOff, 0);
}

TEST_F(AacPage, ReadsTheControlsBackByTheirRules) {
  struct Case {
    const char* what;
    std::vector<std::pair<int, std::string>> texts;
    std::vector<std::pair<int, bool>> checks;
    void (*expect)(const AacDecParams&);
  } cases[] = {
      {"bit rate below 1 %", {{Page::kBitRate, "10"}}, {},
       [](const AacDecParams& p) { EXPECT_EQ(p.bitRate, 14112); }},
      {"bit rate above the PCM rate", {{Page::kBitRate, "99999999"}}, {},
       [](const AacDecParams& p) { EXPECT_EQ(p.bitRate, 1411200); }},
      {"negative cut-off", {{Page::kCutOff, "-5"}}, {}, [](const AacDecParams& p) { EXPECT_EQ(p.cutOff, 0); }},
      {"cut-off past twice the rate", {{Page::kCutOff, "100000"}}, {},
       [](const AacDecParams& p) { EXPECT_EQ(p.cutOff, 88200); }},
      {"ratio above 1", {{Page::kJointStereo, "1.7"}}, {},
       [](const AacDecParams& p) { EXPECT_EQ(std::bit_cast<float>(p.jointStereoRatio), 1.0f); }},
      {"negative ratio", {{Page::kJointStereo, "-2"}}, {},
       [](const AacDecParams& p) { EXPECT_EQ(std::bit_cast<float>(p.jointStereoRatio), 0.0f); }},
      {"down-mix of two channels", {{Page::kDownMix, "1"}}, {},
       [](const AacDecParams& p) { EXPECT_EQ(p.downMix, 0); }},
      {"down-mix of six channels", {{Page::kChannels, "6"}, {Page::kSampleRate, "48000"}, {Page::kDownMix, "2"}}, {},
       [](const AacDecParams& p) {
         EXPECT_EQ(p.channels, 6);
         EXPECT_EQ(p.sampleRate, 48000);
         EXPECT_EQ(p.downMix, 2);
       }},
      {"mode, TNS and reordering", {{Page::kChannelOrder, "1,\t0\n"}},
       {{Page::kAacModeFirst + 4, false}, {Page::kAacModeFirst + 2, true}, {Page::kTns, true}, {Page::kReorder, true}},
       [](const AacDecParams& p) {
         EXPECT_EQ(p.aacMode, 2);
         EXPECT_EQ(p.tns, 1);
         EXPECT_EQ(p.channelReorder, 1);
         EXPECT_EQ(p.channelOrder[0], 1);
         EXPECT_EQ(p.channelOrder[1], 0);
       }},
      {"an order entry out of range", {{Page::kChannelOrder, "0 5"}}, {{Page::kReorder, true}},
       [](const AacDecParams& p) {
         EXPECT_EQ(p.channelOrder[0], 0);
         EXPECT_EQ(p.channelOrder[1], 1);
       }},
      {"no radio checked", {}, {{Page::kAacModeFirst + 4, false}},
       [](const AacDecParams& p) { EXPECT_EQ(p.aacMode, 4); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    // Each case starts from the defaults.
    AacDecParams defaults = DefaultAacDecParams();
    ASSERT_EQ(SetParams(filter, defaults), S_OK);
    pageIface->SetObjects(0, nullptr);
    IUnknown* object = filterUnknown.Get();
    ASSERT_EQ(pageIface->SetObjects(1, &object), S_OK);
    ASSERT_EQ(pageIface->Activate(nullptr, nullptr, FALSE), S_OK);
    for (const auto& [id, text] : c.texts) page->SetControlText(id, text);
    for (const auto& [id, checked] : c.checks) page->SetControlCheck(id, checked);
    ASSERT_EQ(Apply(), S_OK);
    c.expect(FilterParams());
    pageIface->Deactivate();
  }
}

TEST_F(AacPage, ARefusedApplyRestoresAndShowsThePreviousCopy) {
  ASSERT_EQ(pageIface->Activate(nullptr, nullptr, FALSE), S_OK);
  page->SetControlText(Page::kChannels, "9");
  page->SetControlText(Page::kBitRate, "64000");
  EXPECT_EQ(Apply(), S_OK);
  EXPECT_EQ(page->Params().channels, 2);
  EXPECT_EQ(page->ControlText(Page::kChannels), "2") << "shown again";
  EXPECT_EQ(page->ControlText(Page::kBitRate), "128000");
  EXPECT_EQ(FilterParams().bitRate, 128000);

  // More channels than the order holds: no more entries than that are read.
  std::string order;
  for (int i = 0; i < 100; ++i) order += std::to_string(i % 60) + " ";
  page->SetControlText(Page::kChannels, "60");
  page->SetControlText(Page::kChannelOrder, order);
  EXPECT_EQ(Apply(), S_OK);
  EXPECT_EQ(FilterParams().channels, 2);
  EXPECT_EQ(page->ControlText(Page::kChannelOrder), "0 1 ");
}

TEST_F(AacPage, ConnectsOnlyToTheDecoder) {
  HRESULT hr = S_OK;
  auto* other = new Page(nullptr, &hr);
  ComPtr<IPropertyPage> otherIface = Adopt<IPropertyPage>(other, IID_IPropertyPage);
  ComPtr<IUnknown> notAFilter = Adopt<IUnknown>(new Page(nullptr, &hr), IID_IUnknown);
  EXPECT_EQ(other->OnConnect(notAFilter.Get()), E_NOINTERFACE);
  EXPECT_EQ(other->OnDisconnect(), E_UNEXPECTED);
  EXPECT_EQ(pageIface->Help(nullptr), E_NOTIMPL);
  EXPECT_EQ(pageIface->TranslateAccelerator(nullptr), E_NOTIMPL);
}

}  // namespace
}  // namespace tlx::aac::test

#include "aac_dec_property_page.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

namespace {

constexpr const char* kSampleRates[] = {"8000",  "11025", "12000", "16000", "22050", "24000",
                                        "32000", "44100", "48000", "64000", "88200", "96000"};
constexpr const char* kDownMixes[] = {"0", "1", "2"};
constexpr int kAacModes = CAacDecPropertyPage::kAacModeLast - CAacDecPropertyPage::kAacModeFirst + 1;

std::string Format(const char* format, auto value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// `value` limited to [low, high] (high wins when they cross), as an int.
int Clamp(long long value, long long low, long long high) {
  long long limited = std::min(std::max(value, low), high);
  return static_cast<int>(std::clamp<long long>(limited, INT32_MIN, INT32_MAX));
}

}  // namespace

CAacDecPropertyPage::CAacDecPropertyPage(IUnknown* outer, HRESULT*)
    : CBasePropertyPage("AAC decoder property page", outer, kDialogId, 0, u"Parameters") {}

CAacDecPropertyPage::~CAacDecPropertyPage() {
  if (m_pParams != nullptr) m_pParams->Release();
}

CUnknown* CAacDecPropertyPage::CreateInstance(IUnknown* outer, HRESULT* hr) {
  auto* page = new (std::nothrow) CAacDecPropertyPage(outer, hr);
  if (page == nullptr && hr != nullptr) *hr = E_OUTOFMEMORY;
  return page;
}

HRESULT CAacDecPropertyPage::OnConnect(IUnknown* object) {
  IAacDecParams* params = nullptr;
  if (FAILED(object->QueryInterface(IID_IAacDecParams, reinterpret_cast<void**>(&params))) || params == nullptr) {
    return E_NOINTERFACE;
  }
  if (m_pParams != nullptr) m_pParams->Release();
  m_pParams = params;
  m_pParams->GetParams(reinterpret_cast<int*>(&m_copy), 0, 0);
  m_shown = false;
  return S_OK;
}

HRESULT CAacDecPropertyPage::OnDisconnect() {
  if (m_pParams == nullptr) return E_UNEXPECTED;
  m_pParams->Release();
  m_pParams = nullptr;
  return S_OK;
}

void CAacDecPropertyPage::ShowParams() {
  SetControlText(kChannels, Format("%d", m_copy.channels));
  SetControlText(kSampleBits, Format("%d", m_copy.sampleBits));
  SetControlText(kBitRate, Format("%d", m_copy.bitRate));
  SetControlText(kCutOff, Format("%d", m_copy.cutOff));
  SetControlText(kJointStereo, Format("%f", static_cast<double>(std::bit_cast<float>(m_copy.jointStereoRatio))));

  ResetControlItems(kSampleRate);
  const std::string rate = Format("%d", m_copy.sampleRate);
  SetControlText(kSampleRate, rate);
  for (const char* item : kSampleRates) {
    int index = AddControlItem(kSampleRate, item);
    if (rate == item) SetControlSelection(kSampleRate, index);
  }
  ResetControlItems(kDownMix);
  const std::string downMix = Format("%d", m_copy.downMix);
  SetControlText(kDownMix, downMix);
  for (const char* item : kDownMixes) {
    int index = AddControlItem(kDownMix, item);
    if (downMix == item) SetControlSelection(kDownMix, index);
  }

  for (int mode = 0; mode < kAacModes; ++mode) SetControlCheck(kAacModeFirst + mode, mode == m_copy.aacMode);
  SetControlCheck(kTns, m_copy.tns != 0);
  SetControlCheck(kReorder, m_copy.channelReorder != 0);

  const int shown = std::clamp(OutputChannels(m_copy), 0, kAacChannelOrderSize);
  std::string order;
  for (int k = 0; k < shown; ++k) order += Format("%d ", m_copy.channelOrder[k]);
  SetControlText(kChannelOrder, order);
}

HRESULT CAacDecPropertyPage::OnActivate() {
  ShowParams();
  m_shown = true;
  return S_OK;
}

INT_PTR CAacDecPropertyPage::OnReceiveMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_COMMAND && m_shown) {
    SetDirty();
    return 1;
  }
  return CBasePropertyPage::OnReceiveMessage(window, message, wParam, lParam);
}

void CAacDecPropertyPage::ReadControls() {
  AacDecParams& p = m_copy;
  p.channels = std::atoi(ControlText(kChannels).c_str());
  p.sampleBits = std::atoi(ControlText(kSampleBits).c_str());
  p.sampleRate = std::atoi(ControlText(kSampleRate).c_str());
  const long long full = static_cast<long long>(p.channels) * p.sampleBits * p.sampleRate;
  p.bitRate = Clamp(std::atoi(ControlText(kBitRate).c_str()), full / 100, full);
  p.cutOff = Clamp(std::atoi(ControlText(kCutOff).c_str()), 0, 2LL * p.sampleRate);
  float ratio = static_cast<float>(std::atof(ControlText(kJointStereo).c_str()));
  if (!(ratio >= 0.0f)) ratio = 0.0f;
  if (ratio > 1.0f) ratio = 1.0f;
  p.jointStereoRatio = std::bit_cast<int32_t>(ratio);
  p.downMix = std::atoi(ControlText(kDownMix).c_str());
  if (p.channels != 5 && p.channels != 6) p.downMix = 0;
  for (int mode = 0; mode < kAacModes; ++mode) {
    if (IsControlChecked(kAacModeFirst + mode)) {
      p.aacMode = mode;
      break;
    }
  }
  p.tns = IsControlChecked(kTns) ? 1 : 0;
  p.channelReorder = IsControlChecked(kReorder) ? 1 : 0;

  // Up to n entries; the order is taken only when each of them names one of
  // the n output channels. More than the block holds are never read.
  const int n = std::clamp(OutputChannels(p), 0, kAacChannelOrderSize);
  int order[kAacChannelOrderSize];
  std::memcpy(order, p.channelOrder, sizeof order);
  const std::string text = ControlText(kChannelOrder);
  const char* separators = " ,\t\n";
  int parsed = 0;
  for (size_t start = text.find_first_not_of(separators); start != std::string::npos && parsed < n;) {
    size_t end = text.find_first_of(separators, start);
    const std::string token = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (std::sscanf(token.c_str(), "%d", &order[parsed]) == 1) ++parsed;
    start = end == std::string::npos ? end : text.find_first_not_of(separators, end);
  }
  if (std::all_of(order, order + n, [n](int entry) { return entry >= 0 && entry < n; })) {
    std::memcpy(p.channelOrder, order, sizeof order);
  }
}

HRESULT CAacDecPropertyPage::OnDeactivate() {
  m_shown = false;
  ReadControls();
  return S_OK;
}

HRESULT CAacDecPropertyPage::OnApplyChanges() {
  const AacDecParams previous = m_copy;
  ReadControls();
  if (m_pParams == nullptr || FAILED(m_pParams->SetParams(reinterpret_cast<const int*>(&m_copy), 0, 0))) {
    m_copy = previous;
    ShowParams();
  }
  return S_OK;
}

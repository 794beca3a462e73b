#include "about_page.h"

#include <new>

#include "rtsp/usage_environment.h"

namespace {
constexpr int kAboutDialog = 102;
constexpr int kAboutTitle = 101;
constexpr const char* kVersionText = "Version 0.1 - (Jan 12 2007, 13:42:31)";
}  // namespace

CStreamingClientAboutPage::CStreamingClientAboutPage(IUnknown* outer)
    : CBasePropertyPage("TLX Streaming Client About", outer, kAboutDialog, kAboutTitle, u"About") {}

CUnknown* CStreamingClientAboutPage::CreateInstance(IUnknown* outer, HRESULT* hr) {
  auto* page = new (std::nothrow) CStreamingClientAboutPage(outer);
  if (page == nullptr && hr != nullptr) *hr = E_OUTOFMEMORY;
  return page;
}

HRESULT CStreamingClientAboutPage::OnActivate() {
  SetControlText(kAboutVersionItem, kVersionText);
  SetControlText(kAboutBannerItem, kRtspLayerVersion);
  return S_OK;
}

// The source filter's About page: its version and the RTSP layer's banner.
#pragma once

#include "dshow/property_page.h"

// Items the page fills.
inline constexpr int kAboutVersionItem = 200;
inline constexpr int kAboutBannerItem = 201;

class CStreamingClientAboutPage final : public CBasePropertyPage {
 public:
  static CUnknown* CreateInstance(IUnknown* outer, HRESULT* hr);
  HRESULT OnActivate() override;

 private:
  explicit CStreamingClientAboutPage(IUnknown* outer);
};

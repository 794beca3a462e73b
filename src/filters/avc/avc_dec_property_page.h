// The settings page of the AVC decoder filter: a "MultiThread" switch for the
// mode, and a "GPU" switch that stays hidden. It runs on the control table of
// its base; showing it in a window needs the window layer.
#pragma once

#include "dshow/property_page.h"
#include "filters/avc/avc_dec_mode.h"

namespace tlx::avc {

inline constexpr int kAvcPageDialog = 102;
inline constexpr int kAvcPageTitle = 2;
inline constexpr int kControlGpu = 1132;
inline constexpr int kControlMultiThread = 1133;

class CAvcDecPropertyPage : public CBasePropertyPage {
 public:
  static CUnknown* CreateInstance(IUnknown* outer, HRESULT* hr);
  explicit CAvcDecPropertyPage(IUnknown* outer);
  ~CAvcDecPropertyPage() override;

  HRESULT OnConnect(IUnknown* object) override;
  HRESULT OnDisconnect() override;
  HRESULT OnActivate() override;
  HRESULT OnDeactivate() override;
  HRESULT OnApplyChanges() override;
  INT_PTR OnReceiveMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  // Sets both boxes from the filter's mode.
  void ShowMode();
  void UpdateControls();

  IAvcDecMode* mode_ = nullptr;  // with a reference while connected
};

}  // namespace tlx::avc

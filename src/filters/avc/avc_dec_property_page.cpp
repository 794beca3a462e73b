#include "avc_dec_property_page.h"

namespace tlx::avc {

CUnknown* CAvcDecPropertyPage::CreateInstance(IUnknown* outer, HRESULT*) { return new CAvcDecPropertyPage(outer); }

CAvcDecPropertyPage::CAvcDecPropertyPage(IUnknown* outer)
    : CBasePropertyPage("Avc Dec Props", outer, kAvcPageDialog, kAvcPageTitle, u"Settings") {}

CAvcDecPropertyPage::~CAvcDecPropertyPage() { OnDisconnect(); }

HRESULT CAvcDecPropertyPage::OnConnect(IUnknown* object) {
  if (object == nullptr || FAILED(object->QueryInterface(IID_IAvcDecModePage, reinterpret_cast<void**>(&mode_)))) {
    mode_ = nullptr;
    return E_NOINTERFACE;
  }
  return S_OK;
}

HRESULT CAvcDecPropertyPage::OnDisconnect() {
  if (mode_ != nullptr) mode_->Release();
  mode_ = nullptr;
  return S_OK;
}

void CAvcDecPropertyPage::ShowMode() {
  int mode = 0, connected = 0, reserved = 0;
  if (mode_ != nullptr) mode_->GetModeEx(&mode, &connected, &reserved);
  SetControlCheck(kControlMultiThread, (mode & 0x100) != 0);
  SetControlCheck(kControlGpu, (mode & kAvcModeGpu) != 0);
}

void CAvcDecPropertyPage::UpdateControls() {
  int mode = 0, connected = 0;
  if (mode_ != nullptr) mode_->GetMode(&mode, &connected);
  ShowControl(kControlGpu, false);
  EnableControl(kControlMultiThread, connected == 0);
}

HRESULT CAvcDecPropertyPage::OnActivate() {
  ShowMode();
  UpdateControls();
  return S_OK;
}

INT_PTR CAvcDecPropertyPage::OnReceiveMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  UpdateControls();
  if ((message == WM_COMMAND || message == WM_HSCROLL) && IsActive()) {
    SetDirty();
    return 1;
  }
  return CBasePropertyPage::OnReceiveMessage(window, message, wParam, lParam);
}

HRESULT CAvcDecPropertyPage::OnApplyChanges() {
  if (!IsActive() || mode_ == nullptr) return S_OK;
  int mode = kAvcModeDefault;
  if (!IsControlChecked(kControlMultiThread)) mode &= ~kAvcModeMultiThread;
  if (!IsControlChecked(kControlGpu)) mode &= ~kAvcModeGpu;
  const HRESULT hr = mode_->SetMode(mode);
  ShowMode();
  return hr;
}

HRESULT CAvcDecPropertyPage::OnDeactivate() { return OnApplyChanges(); }

}  // namespace tlx::avc

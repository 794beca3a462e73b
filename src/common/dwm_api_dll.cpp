#include "common/tlx_pc_cmn_dwm_api_dll.h"

namespace {

// The entry, called with the arguments; E_FAIL when it is not bound.
template <typename Entry, typename... Args>
HRESULT Call(Entry entry, Args... args) {
  return entry != nullptr ? entry(args...) : E_FAIL;
}

}  // namespace

bool CTlxPcCmnDwmApiDll::_Load() {
  if (!m_dll.Load(u"dwmapi.dll")) return false;
  const bool bound = m_dll.Bind("DwmRegisterThumbnail", &m_pRegisterThumbnail) &
                     m_dll.Bind("DwmUnregisterThumbnail", &m_pUnregisterThumbnail) &
                     m_dll.Bind("DwmUpdateThumbnailProperties", &m_pUpdateThumbnailProperties) &
                     m_dll.Bind("DwmQueryThumbnailSourceSize", &m_pQueryThumbnailSourceSize) &
                     m_dll.Bind("DwmIsCompositionEnabled", &m_pIsCompositionEnabled) &
                     m_dll.Bind("DwmEnableBlurBehindWindow", &m_pEnableBlurBehindWindow) &
                     m_dll.Bind("DwmEnableComposition", &m_pEnableComposition) &
                     m_dll.Bind("DwmEnableMMCSS", &m_pEnableMMCSS) &
                     m_dll.Bind("DwmSetWindowAttribute", &m_pSetWindowAttribute) &
                     m_dll.Bind("DwmGetWindowAttribute", &m_pGetWindowAttribute) &
                     m_dll.Bind("DwmExtendFrameIntoClientArea", &m_pExtendFrameIntoClientArea);
  if (!bound) Unload();
  return bound;
}

void CTlxPcCmnDwmApiDll::Unload() {
  m_dll.Unload();
  m_pRegisterThumbnail = nullptr;
  m_pUnregisterThumbnail = nullptr;
  m_pUpdateThumbnailProperties = nullptr;
  m_pQueryThumbnailSourceSize = nullptr;
  m_pIsCompositionEnabled = nullptr;
  m_pEnableBlurBehindWindow = nullptr;
  m_pEnableComposition = nullptr;
  m_pEnableMMCSS = nullptr;
  m_pSetWindowAttribute = nullptr;
  m_pGetWindowAttribute = nullptr;
  m_pExtendFrameIntoClientArea = nullptr;
}

HRESULT CTlxPcCmnDwmApiDll::RegisterThumbnail(HWND destination, HWND* source) {
  if (source == nullptr) return E_POINTER;
  return Call(m_pRegisterThumbnail, destination, *source, &m_hThumbnail);
}

HRESULT CTlxPcCmnDwmApiDll::UnregisterThumbnail() { return Call(m_pUnregisterThumbnail, m_hThumbnail); }

HRESULT CTlxPcCmnDwmApiDll::UpdateThumbnailProperties(const DWM_THUMBNAIL_PROPERTIES* properties) {
  return Call(m_pUpdateThumbnailProperties, m_hThumbnail, properties);
}

HRESULT CTlxPcCmnDwmApiDll::QueryThumbnailSourceSize(SIZE* size) {
  return Call(m_pQueryThumbnailSourceSize, m_hThumbnail, size);
}

HRESULT CTlxPcCmnDwmApiDll::IsCompositionEnabled(BOOL* enabled) { return Call(m_pIsCompositionEnabled, enabled); }

HRESULT CTlxPcCmnDwmApiDll::EnableBlurBehindWindow(HWND window, const DWM_BLURBEHIND* blurBehind) {
  return Call(m_pEnableBlurBehindWindow, window, blurBehind);
}

HRESULT CTlxPcCmnDwmApiDll::EnableComposition(UINT action) { return Call(m_pEnableComposition, action); }

HRESULT CTlxPcCmnDwmApiDll::EnableMMCSS(BOOL enable) { return Call(m_pEnableMMCSS, enable); }

HRESULT CTlxPcCmnDwmApiDll::SetWindowAttribute(HWND window, DWORD attribute, LPCVOID value, DWORD size) {
  return Call(m_pSetWindowAttribute, window, attribute, value, size);
}

HRESULT CTlxPcCmnDwmApiDll::GetWindowAttribute(HWND window, DWORD attribute, PVOID value, DWORD size) {
  return Call(m_pGetWindowAttribute, window, attribute, value, size);
}

HRESULT CTlxPcCmnDwmApiDll::ExtendFrameIntoClientArea(HWND window, const MARGINS* margins) {
  return Call(m_pExtendFrameIntoClientArea, window, margins);
}

HRESULT CTlxPcCmnDwmApiDll::EnableBlurBehind(HWND window) {
  const DWM_BLURBEHIND blurBehind{DWM_BB_ENABLE, TRUE, nullptr, FALSE};
  return EnableBlurBehindWindow(window, &blurBehind);
}

HRESULT CTlxPcCmnDwmApiDll::DisableNCRendering(HWND window) {
  const int policy = DWMNCRP_DISABLED;
  return SetWindowAttribute(window, DWMWA_NCRENDERING_POLICY, &policy, sizeof(policy));
}

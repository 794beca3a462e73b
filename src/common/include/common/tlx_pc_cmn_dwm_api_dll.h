// CTlxPcCmnDwmApiDll: the desktop-composition library ("dwmapi.dll") bound
// late, entry by entry. When the library or any of its eleven entries is
// missing, Load is false with nothing loaded and callers skip composition;
// that is always the case on this platform, where no such library exists. An
// operation reached without its entry returns E_FAIL.
#pragma once

#include "common/tlx_pc_cmn_dll_loader.h"
#include "win32/rect.h"
#include "win32/types.h"

struct HRGN__;
using HRGN = HRGN__*;
using HTHUMBNAIL = HANDLE;

struct MARGINS {
  int cxLeftWidth;
  int cxRightWidth;
  int cyTopHeight;
  int cyBottomHeight;
};

struct DWM_BLURBEHIND {
  DWORD dwFlags;
  BOOL fEnable;
  HRGN hRgnBlur;
  BOOL fTransitionOnMaximized;
};

struct DWM_THUMBNAIL_PROPERTIES {
  DWORD dwFlags;
  RECT rcDestination;
  RECT rcSource;
  BYTE opacity;
  BOOL fVisible;
  BOOL fSourceClientAreaOnly;
};

inline constexpr DWORD DWM_BB_ENABLE = 0x00000001;
inline constexpr DWORD DWMWA_NCRENDERING_POLICY = 2;
inline constexpr int DWMNCRP_DISABLED = 1;

class CTlxPcCmnDwmApiDll {
 public:
  using RegisterThumbnailFn = HRESULT (*)(HWND, HWND, HTHUMBNAIL*);
  using UnregisterThumbnailFn = HRESULT (*)(HTHUMBNAIL);
  using UpdateThumbnailPropertiesFn = HRESULT (*)(HTHUMBNAIL, const DWM_THUMBNAIL_PROPERTIES*);
  using QueryThumbnailSourceSizeFn = HRESULT (*)(HTHUMBNAIL, SIZE*);
  using IsCompositionEnabledFn = HRESULT (*)(BOOL*);
  using EnableBlurBehindWindowFn = HRESULT (*)(HWND, const DWM_BLURBEHIND*);
  using EnableCompositionFn = HRESULT (*)(UINT);
  using EnableMMCSSFn = HRESULT (*)(BOOL);
  using SetWindowAttributeFn = HRESULT (*)(HWND, DWORD, LPCVOID, DWORD);
  using GetWindowAttributeFn = HRESULT (*)(HWND, DWORD, PVOID, DWORD);
  using ExtendFrameIntoClientAreaFn = HRESULT (*)(HWND, const MARGINS*);

  // Nothing loaded, no entries, no thumbnail. Copies share the library and
  // copy the entries and the thumbnail handle.
  CTlxPcCmnDwmApiDll() = default;

  // Loads the library and binds its entries (through _Load).
  bool Load() { return _Load(); }
  // Lets the library go; the entries are forgotten.
  void Unload();

  // Each returns the entry's result, or E_FAIL without the entry.
  // Registers `source` (the window the thumbnail shows) with `destination`,
  // keeping the thumbnail handle in this object.
  HRESULT RegisterThumbnail(HWND destination, HWND* source);
  HRESULT UnregisterThumbnail();
  HRESULT UpdateThumbnailProperties(const DWM_THUMBNAIL_PROPERTIES* properties);
  HRESULT QueryThumbnailSourceSize(SIZE* size);
  HRESULT IsCompositionEnabled(BOOL* enabled);
  HRESULT EnableBlurBehindWindow(HWND window, const DWM_BLURBEHIND* blurBehind);
  HRESULT EnableComposition(UINT action);
  HRESULT EnableMMCSS(BOOL enable);
  HRESULT SetWindowAttribute(HWND window, DWORD attribute, LPCVOID value, DWORD size);
  HRESULT GetWindowAttribute(HWND window, DWORD attribute, PVOID value, DWORD size);
  HRESULT ExtendFrameIntoClientArea(HWND window, const MARGINS* margins);
  // Blur behind the whole window (DWM_BB_ENABLE, enabled, no region).
  HRESULT EnableBlurBehind(HWND window);
  // Turns off the composition of the window's frame.
  HRESULT DisableNCRendering(HWND window);

 protected:
  // Loads "dwmapi.dll" and binds the eleven entries; when any is missing the
  // library is let go again and the result is false.
  virtual bool _Load();

 private:
  CTlxPcCmnDllLoader m_dll;
  RegisterThumbnailFn m_pRegisterThumbnail = nullptr;
  UnregisterThumbnailFn m_pUnregisterThumbnail = nullptr;
  UpdateThumbnailPropertiesFn m_pUpdateThumbnailProperties = nullptr;
  QueryThumbnailSourceSizeFn m_pQueryThumbnailSourceSize = nullptr;
  IsCompositionEnabledFn m_pIsCompositionEnabled = nullptr;
  EnableBlurBehindWindowFn m_pEnableBlurBehindWindow = nullptr;
  EnableCompositionFn m_pEnableComposition = nullptr;
  EnableMMCSSFn m_pEnableMMCSS = nullptr;
  SetWindowAttributeFn m_pSetWindowAttribute = nullptr;
  GetWindowAttributeFn m_pGetWindowAttribute = nullptr;
  ExtendFrameIntoClientAreaFn m_pExtendFrameIntoClientArea = nullptr;
  HTHUMBNAIL m_hThumbnail = nullptr;
};

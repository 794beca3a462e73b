// CTlxPcCmnMsInstaller: queries of the installer service ("msi.dll"), bound
// late. Without the library (always the case on this platform) every query
// returns an empty string and no product is opened; callers then use what
// they know without the installer.
#pragma once

#include <memory>

#include "common/tlx_pc_cmn_dll_loader.h"
#include "mfc/cstring.h"
#include "win32/types.h"

using MSIHANDLE = DWORD;
using INSTALLUILEVEL = int;
inline constexpr INSTALLUILEVEL INSTALLUILEVEL_NONE = 2;

// The installer library with its five entries. Constructed, it loads
// "msi.dll"; Load binds the entries once the library is loaded (a missing
// entry stays null and is never called).
class CTlxPcCmnMsiDllLoader : public CTlxPcCmnDllLoader {
 public:
  using MsiOpenProductWFn = UINT (*)(LPCWSTR productCode, MSIHANDLE* product);
  using MsiCloseHandleFn = UINT (*)(MSIHANDLE handle);
  using MsiGetPropertyWFn = UINT (*)(MSIHANDLE product, LPCWSTR name, LPWSTR value, DWORD* valueChars);
  using MsiSetInternalUIFn = INSTALLUILEVEL (*)(INSTALLUILEVEL level, HWND* owner);
  using MsiGetProductInfoWFn = UINT (*)(LPCWSTR productCode, LPCWSTR attribute, LPWSTR value, DWORD* valueChars);

  CTlxPcCmnMsiDllLoader();
  CTlxPcCmnMsiDllLoader(const CTlxPcCmnMsiDllLoader&) = default;
  CTlxPcCmnMsiDllLoader& operator=(const CTlxPcCmnMsiDllLoader&) = default;
  ~CTlxPcCmnMsiDllLoader() override;

  // The base Load, then the entries; true once the library is loaded.
  bool Load(const WCHAR* path) override;

  MsiOpenProductWFn m_pMsiOpenProductW = nullptr;
  MsiCloseHandleFn m_pMsiCloseHandle = nullptr;
  MsiGetPropertyWFn m_pMsiGetPropertyW = nullptr;
  MsiSetInternalUIFn m_pMsiSetInternalUI = nullptr;
  MsiGetProductInfoWFn m_pMsiGetProductInfoW = nullptr;
};

class CTlxPcCmnMsInstaller {
 public:
  // No product.
  CTlxPcCmnMsInstaller();
  // Wraps a product handle the caller keeps owning.
  explicit CTlxPcCmnMsInstaller(MSIHANDLE product);
  // Opens the product without any installer window; no handle when that
  // fails. The opened handle is closed when the last copy of this object goes.
  explicit CTlxPcCmnMsInstaller(const WCHAR* productCode);
  CTlxPcCmnMsInstaller(const CTlxPcCmnMsInstaller&) = default;
  CTlxPcCmnMsInstaller& operator=(const CTlxPcCmnMsInstaller&) = default;
  virtual ~CTlxPcCmnMsInstaller();

  // The product's property; empty when it cannot be read.
  CString GetProperty(const WCHAR* name);
  // An attribute of an installed product; empty when it cannot be read.
  CString GetProductInfo(const WCHAR* productCode, const WCHAR* attribute);

  MSIHANDLE GetHandle() const { return m_hProduct; }

 private:
  CTlxPcCmnMsiDllLoader m_dll;
  MSIHANDLE m_hProduct = 0;
  // Held by this object and its copies when they opened the handle; the last
  // of them closes it.
  std::shared_ptr<void> m_owner;
};

#include "common/tlx_pc_cmn_ms_installer.h"

#include <string>

namespace {

// The installer's two-call sizing: asks for the size with an empty buffer,
// then reads into a buffer of that size plus the terminator. Empty when the
// entry is missing or either call fails.
template <typename Query>
CString SizedQuery(bool loaded, Query query) {
  if (!loaded) return CString();
  WCHAR empty[1] = {0};
  DWORD chars = 0;
  UINT result = query(empty, &chars);
  if (result == ERROR_MORE_DATA) {
    std::u16string buffer(static_cast<size_t>(chars) + 1, u'\0');
    chars += 1;
    result = query(buffer.data(), &chars);
    if (result != ERROR_SUCCESS) return CString();
    return CString(buffer.c_str());
  }
  return result == ERROR_SUCCESS ? CString(empty) : CString();
}

}  // namespace

CTlxPcCmnMsiDllLoader::CTlxPcCmnMsiDllLoader() { Load(u"msi.dll"); }

CTlxPcCmnMsiDllLoader::~CTlxPcCmnMsiDllLoader() = default;

bool CTlxPcCmnMsiDllLoader::Load(const WCHAR* path) {
  if (!CTlxPcCmnDllLoader::Load(path)) return false;
  Bind("MsiOpenProductW", &m_pMsiOpenProductW);
  Bind("MsiCloseHandle", &m_pMsiCloseHandle);
  Bind("MsiGetPropertyW", &m_pMsiGetPropertyW);
  Bind("MsiSetInternalUI", &m_pMsiSetInternalUI);
  Bind("MsiGetProductInfoW", &m_pMsiGetProductInfoW);
  return true;
}

CTlxPcCmnMsInstaller::CTlxPcCmnMsInstaller() = default;

CTlxPcCmnMsInstaller::CTlxPcCmnMsInstaller(MSIHANDLE product) : m_hProduct(product) {}

CTlxPcCmnMsInstaller::CTlxPcCmnMsInstaller(const WCHAR* productCode) {
  if (!m_dll.IsLoaded() || m_dll.m_pMsiOpenProductW == nullptr || m_dll.m_pMsiSetInternalUI == nullptr) return;
  const INSTALLUILEVEL previous = m_dll.m_pMsiSetInternalUI(INSTALLUILEVEL_NONE, nullptr);
  MSIHANDLE product = 0;
  if (m_dll.m_pMsiOpenProductW(productCode, &product) == ERROR_SUCCESS && product != 0) {
    m_hProduct = product;
    // The closer keeps its own share of the library, so the entry stays valid.
    m_owner = std::shared_ptr<void>(nullptr, [dll = m_dll, product](void*) {
      if (dll.m_pMsiCloseHandle != nullptr) dll.m_pMsiCloseHandle(product);
    });
  }
  m_dll.m_pMsiSetInternalUI(previous, nullptr);
}

CTlxPcCmnMsInstaller::~CTlxPcCmnMsInstaller() = default;

CString CTlxPcCmnMsInstaller::GetProperty(const WCHAR* name) {
  const auto entry = m_dll.m_pMsiGetPropertyW;
  return SizedQuery(m_dll.IsLoaded() && entry != nullptr,
                    [&](LPWSTR value, DWORD* chars) { return entry(m_hProduct, name, value, chars); });
}

CString CTlxPcCmnMsInstaller::GetProductInfo(const WCHAR* productCode, const WCHAR* attribute) {
  const auto entry = m_dll.m_pMsiGetProductInfoW;
  return SizedQuery(m_dll.IsLoaded() && entry != nullptr,
                    [&](LPWSTR value, DWORD* chars) { return entry(productCode, attribute, value, chars); });
}

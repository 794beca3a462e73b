#include "common/tlx_pc_cmn_reg_key.h"

#include <string>

#include "common/chain_string.h"
#include "win32/text.h"

namespace {

std::shared_ptr<HKEY__> Owned(HKEY key) {
  return std::shared_ptr<HKEY__>(key, [](HKEY held) {
    if (held != nullptr) RegCloseKey(held);
  });
}

BOOL SetValue(HKEY key, const WCHAR* name, DWORD type, const void* data, size_t size) {
  return RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), static_cast<DWORD>(size)) ==
                 ERROR_SUCCESS
             ? TRUE
             : FALSE;
}

}  // namespace

CTlxPcCmnRegKey::CTlxPcCmnRegKey(HKEY key) : key_(Owned(key)) {}

CTlxPcCmnRegKey::~CTlxPcCmnRegKey() = default;

CTlxPcCmnRegKey* CTlxPcCmnRegKey::CreateKey(const WCHAR* subKey) {
  HKEY created = nullptr;
  if (RegCreateKeyExW(GetKey(), subKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &created,
                      nullptr) != ERROR_SUCCESS) {
    return nullptr;
  }
  return new CTlxPcCmnRegKey(created);
}

CTlxPcCmnRegKey* CTlxPcCmnRegKey::OpenKey(const WCHAR* subKey, REGSAM access) {
  HKEY opened = nullptr;
  if (RegOpenKeyExW(GetKey(), subKey, 0, access, &opened) != ERROR_SUCCESS) return nullptr;
  return new CTlxPcCmnRegKey(opened);
}

DWORD CTlxPcCmnRegKey::ReadDword(const WCHAR* name, DWORD defaultValue) {
  return tlx::win32::RegReadDword(GetKey(), name, defaultValue);
}

int CTlxPcCmnRegKey::ReadInteger(const WCHAR* name, int defaultValue) {
  return static_cast<int>(ReadDword(name, static_cast<DWORD>(defaultValue)));
}

CString CTlxPcCmnRegKey::ReadString(const WCHAR* name, const WCHAR* defaultValue) {
  return CString(tlx::win32::RegReadString(GetKey(), name, defaultValue).c_str());
}

BOOL CTlxPcCmnRegKey::WriteDword(const WCHAR* name, DWORD value) {
  return SetValue(GetKey(), name, REG_DWORD, &value, sizeof(value));
}

BOOL CTlxPcCmnRegKey::WriteInteger(const WCHAR* name, int value) {
  return WriteDword(name, static_cast<DWORD>(value));
}

BOOL CTlxPcCmnRegKey::WriteString(const WCHAR* name, const WCHAR* text) {
  if (text == nullptr) return FALSE;
  return SetValue(GetKey(), name, REG_SZ, text, (tlx::win32::WideLength(text) + 1) * sizeof(WCHAR));
}

DWORD CTlxPcCmnRegKey::ReadDword(int nameId, DWORD defaultValue) {
  const CString name = tlx::common::ChainString(static_cast<UINT>(nameId));
  return name.IsEmpty() ? defaultValue : ReadDword(name, defaultValue);
}

int CTlxPcCmnRegKey::ReadInteger(int nameId, int defaultValue) {
  return static_cast<int>(ReadDword(nameId, static_cast<DWORD>(defaultValue)));
}

CString CTlxPcCmnRegKey::ReadString(int nameId, const WCHAR* defaultValue) {
  const CString name = tlx::common::ChainString(static_cast<UINT>(nameId));
  return name.IsEmpty() ? CString(defaultValue) : ReadString(name, defaultValue);
}

BOOL CTlxPcCmnRegKey::WriteDword(int nameId, DWORD value) {
  const CString name = tlx::common::ChainString(static_cast<UINT>(nameId));
  return name.IsEmpty() ? FALSE : WriteDword(name, value);
}

BOOL CTlxPcCmnRegKey::WriteInteger(int nameId, int value) {
  return WriteDword(nameId, static_cast<DWORD>(value));
}

BOOL CTlxPcCmnRegKey::WriteString(int nameId, const WCHAR* text) {
  const CString name = tlx::common::ChainString(static_cast<UINT>(nameId));
  return name.IsEmpty() ? FALSE : WriteString(name, text);
}

#include <cstdlib>
#include <cstring>

#include "com/automation.h"

BSTR SysAllocStringLen(const WCHAR* text, UINT length) {
  if (length > (0x7FFFFFFFu - sizeof(uint32_t)) / sizeof(WCHAR) - 1) return nullptr;
  auto* block = static_cast<char*>(std::malloc(sizeof(uint32_t) + (length + 1) * sizeof(WCHAR)));
  if (block == nullptr) return nullptr;
  uint32_t bytes = length * sizeof(WCHAR);
  std::memcpy(block, &bytes, sizeof bytes);
  auto* chars = reinterpret_cast<WCHAR*>(block + sizeof(uint32_t));
  if (text != nullptr) {
    std::memcpy(chars, text, bytes);
  } else {
    std::memset(chars, 0, bytes);
  }
  chars[length] = 0;
  return chars;
}

BSTR SysAllocString(const WCHAR* text) {
  if (text == nullptr) return nullptr;
  UINT length = 0;
  while (text[length] != 0) ++length;
  return SysAllocStringLen(text, length);
}

void SysFreeString(BSTR text) {
  if (text != nullptr) std::free(reinterpret_cast<char*>(text) - sizeof(uint32_t));
}

UINT SysStringLen(BSTR text) {
  if (text == nullptr) return 0;
  uint32_t bytes;
  std::memcpy(&bytes, reinterpret_cast<char*>(text) - sizeof(uint32_t), sizeof bytes);
  return bytes / sizeof(WCHAR);
}

void VariantInit(VARIANT* v) {
  std::memset(v, 0, sizeof *v);
  v->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANT* v) {
  if (v == nullptr) return E_INVALIDARG;
  if (v->vt == VT_BSTR) SysFreeString(v->bstrVal);
  if (v->vt == VT_UNKNOWN && v->punkVal != nullptr) v->punkVal->Release();
  VariantInit(v);
  return S_OK;
}

// Automation types the player's interfaces carry: length-prefixed strings,
// the VARIANT of property bags, and IDispatch as the base of the scriptable
// control interfaces (whose dispatch members the components do not serve).
#pragma once

#include "com/unknown.h"

using BSTR = WCHAR*;
using OLECHAR = WCHAR;
using LPOLESTR = WCHAR*;
using LPCOLESTR = const WCHAR*;

// A BSTR points at its characters; the byte length sits in the four bytes
// before them and a zero follows them. Null is the empty string.
BSTR SysAllocString(const WCHAR* text);
BSTR SysAllocStringLen(const WCHAR* text, UINT length);
void SysFreeString(BSTR text);
UINT SysStringLen(BSTR text);

using VARTYPE = uint16_t;
using VARIANT_BOOL = int16_t;
inline constexpr VARIANT_BOOL VARIANT_TRUE = -1;
inline constexpr VARIANT_BOOL VARIANT_FALSE = 0;
inline constexpr VARTYPE VT_EMPTY = 0;
inline constexpr VARTYPE VT_I4 = 3;
inline constexpr VARTYPE VT_BSTR = 8;
inline constexpr VARTYPE VT_UNKNOWN = 13;
inline constexpr VARTYPE VT_UI1 = 17;
inline constexpr VARTYPE VT_ARRAY = 0x2000;
inline constexpr HRESULT DISP_E_TYPEMISMATCH = static_cast<HRESULT>(0x80020005);

struct VARIANT {
  VARTYPE vt;
  WORD wReserved1;
  WORD wReserved2;
  WORD wReserved3;
  union {
    LONG lVal;
    BSTR bstrVal;
    IUnknown* punkVal;
  };
};
void VariantInit(VARIANT* v);
// Frees the string or releases the object the variant holds; leaves it empty.
HRESULT VariantClear(VARIANT* v);

using DISPID = LONG;
using LCID = DWORD;
struct ITypeInfo;
struct DISPPARAMS;
struct EXCEPINFO;

// IDispatch {00020400-0000-0000-C000-000000000046}
inline constexpr IID IID_IDispatch{0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
struct IDispatch : IUnknown {
  STDMETHOD(GetTypeInfoCount)(UINT* count) PURE;
  STDMETHOD(GetTypeInfo)(UINT index, LCID locale, ITypeInfo** info) PURE;
  STDMETHOD(GetIDsOfNames)(REFIID iid, LPOLESTR* names, UINT count, LCID locale, DISPID* ids) PURE;
  STDMETHOD(Invoke)(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params, VARIANT* result,
                    EXCEPINFO* exception, UINT* argError) PURE;

 protected:
  ~IDispatch() = default;
};

// The dispatch members of a control interface that has no type library:
// no type information and nothing to invoke.
#define TLX_NO_DISPATCH                                                                                    \
  STDMETHODIMP GetTypeInfoCount(UINT* count) override {                                                  \
    if (count == nullptr) return E_POINTER;                                                              \
    *count = 0;                                                                                          \
    return S_OK;                                                                                         \
  }                                                                                                      \
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }                        \
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }       \
  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {    \
    return E_NOTIMPL;                                                                                    \
  }

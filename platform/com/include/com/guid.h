// Globally unique identifiers: the 16-byte record with its usual textual form
// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
#pragma once

#include <compare>
#include <cstring>
#include <functional>
#include <string>

#include "win32/types.h"

struct GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];

  friend constexpr bool operator==(const GUID& a, const GUID& b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
    for (int i = 0; i < 8; ++i) {
      if (a.Data4[i] != b.Data4[i]) return false;
    }
    return true;
  }
  friend constexpr std::strong_ordering operator<=>(const GUID& a, const GUID& b) {
    if (auto c = a.Data1 <=> b.Data1; c != 0) return c;
    if (auto c = a.Data2 <=> b.Data2; c != 0) return c;
    if (auto c = a.Data3 <=> b.Data3; c != 0) return c;
    for (int i = 0; i < 8; ++i) {
      if (auto c = a.Data4[i] <=> b.Data4[i]; c != 0) return c;
    }
    return std::strong_ordering::equal;
  }
};
static_assert(sizeof(GUID) == 16);

using IID = GUID;
using CLSID = GUID;
using REFGUID = const GUID&;
using REFIID = const IID&;
using REFCLSID = const CLSID&;
using LPGUID = GUID*;
using LPCLSID = CLSID*;

inline constexpr GUID GUID_NULL{0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

inline bool IsEqualGUID(REFGUID a, REFGUID b) { return a == b; }
inline bool IsEqualIID(REFIID a, REFIID b) { return a == b; }
inline bool IsEqualCLSID(REFCLSID a, REFCLSID b) { return a == b; }

// Characters of the braced form, without the terminating zero.
inline constexpr int kGuidStringLength = 38;

// The braced upper-case form.
std::string GuidToString(REFGUID guid);
// Accepts the braced form in either case; false (guid untouched) for anything
// else, including surrounding text.
bool GuidFromString(const std::string& text, GUID* guid);

// Writes the braced form with its terminating zero; returns the characters
// written including the zero, or 0 when the buffer is too small.
int StringFromGUID2(REFGUID guid, WCHAR* buffer, int size);
// E_INVALIDARG-like CO_E_CLASSSTRING for text that is not a braced GUID.
HRESULT CLSIDFromString(const WCHAR* text, CLSID* clsid);
HRESULT IIDFromString(const WCHAR* text, IID* iid);

template <>
struct std::hash<GUID> {
  size_t operator()(const GUID& g) const noexcept {
    uint64_t a;
    uint64_t b;
    std::memcpy(&a, &g, 8);
    std::memcpy(&b, reinterpret_cast<const char*>(&g) + 8, 8);
    return std::hash<uint64_t>()(a * 0x9E3779B97F4A7C15ull ^ b);
  }
};

#include "com/guid.h"

#include <cstdio>

#include "com/hresult.h"

std::string GuidToString(REFGUID g) {
  char text[kGuidStringLength + 1];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1, g.Data2, g.Data3,
                g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return text;
}

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads `digits` hex digits at `pos`; false on any other character.
bool ReadHex(const std::string& text, size_t pos, int digits, uint64_t* value) {
  uint64_t v = 0;
  for (int i = 0; i < digits; ++i) {
    int h = HexValue(text[pos + i]);
    if (h < 0) return false;
    v = v << 4 | static_cast<uint64_t>(h);
  }
  *value = v;
  return true;
}

}  // namespace

bool GuidFromString(const std::string& text, GUID* guid) {
  if (text.size() != kGuidStringLength || text[0] != '{' || text[37] != '}' || text[9] != '-' ||
      text[14] != '-' || text[19] != '-' || text[24] != '-') {
    return false;
  }
  uint64_t d1, d2, d3, hi, lo;
  if (!ReadHex(text, 1, 8, &d1) || !ReadHex(text, 10, 4, &d2) || !ReadHex(text, 15, 4, &d3) ||
      !ReadHex(text, 20, 4, &hi) || !ReadHex(text, 25, 12, &lo)) {
    return false;
  }
  GUID g;
  g.Data1 = static_cast<uint32_t>(d1);
  g.Data2 = static_cast<uint16_t>(d2);
  g.Data3 = static_cast<uint16_t>(d3);
  g.Data4[0] = static_cast<uint8_t>(hi >> 8);
  g.Data4[1] = static_cast<uint8_t>(hi);
  for (int i = 0; i < 6; ++i) g.Data4[2 + i] = static_cast<uint8_t>(lo >> (40 - 8 * i));
  *guid = g;
  return true;
}

int StringFromGUID2(REFGUID guid, WCHAR* buffer, int size) {
  if (buffer == nullptr || size < kGuidStringLength + 1) return 0;
  std::string text = GuidToString(guid);
  for (int i = 0; i < kGuidStringLength; ++i) buffer[i] = static_cast<WCHAR>(text[i]);
  buffer[kGuidStringLength] = 0;
  return kGuidStringLength + 1;
}

HRESULT CLSIDFromString(const WCHAR* text, CLSID* clsid) {
  if (text == nullptr || clsid == nullptr) return E_INVALIDARG;
  std::string narrow;
  for (const WCHAR* p = text; *p != 0; ++p) {
    if (*p > 0x7F || narrow.size() > kGuidStringLength) return CO_E_CLASSSTRING;
    narrow.push_back(static_cast<char>(*p));
  }
  return GuidFromString(narrow, clsid) ? S_OK : CO_E_CLASSSTRING;
}

HRESULT IIDFromString(const WCHAR* text, IID* iid) { return CLSIDFromString(text, iid); }

#include "win32/text.h"

#include "win32/synch.h"

#include <locale.h>
#include <wctype.h>

namespace tlx::win32 {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one character at text[pos], advancing pos; a malformed sequence
// yields U+FFFD and consumes one byte, so decoding always makes progress.
char32_t DecodeUtf8(std::string_view text, size_t& pos) {
  const auto lead = static_cast<unsigned char>(text[pos++]);
  if (lead < 0x80) return lead;
  size_t extra;
  char32_t c;
  char32_t minimum;
  if ((lead & 0xE0) == 0xC0) {
    extra = 1, c = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    extra = 2, c = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    extra = 3, c = lead & 0x07, minimum = 0x10000;
  } else {
    return kReplacement;
  }
  if (text.size() - pos < extra) return kReplacement;
  for (size_t i = 0; i < extra; ++i) {
    const auto next = static_cast<unsigned char>(text[pos + i]);
    if ((next & 0xC0) != 0x80) return kReplacement;
    c = (c << 6) | (next & 0x3F);
  }
  if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return kReplacement;
  pos += extra;
  return c;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

char32_t UpperCase(char32_t c) {
  if (c < 0x80) return (c >= 'a' && c <= 'z') ? c - 'a' + 'A' : c;
  // The C.UTF-8 locale carries the full Unicode case table; without it only
  // ASCII folds.
  static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
  if (utf8 == static_cast<locale_t>(0)) return c;
  return static_cast<char32_t>(towupper_l(static_cast<wint_t>(c), utf8));
}

}  // namespace

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (size_t pos = 0; pos < text.size();) {
    const char32_t c = DecodeUtf8(text, pos);
    if (c < 0x10000) {
      out += static_cast<char16_t>(c);
    } else {
      out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    }
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = kReplacement;
    }
    AppendUtf8(out, c);
  }
  return out;
}

std::string FoldCase(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t pos = 0; pos < text.size();) AppendUtf8(out, UpperCase(DecodeUtf8(text, pos)));
  return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b) { return FoldCase(a) == FoldCase(b); }

size_t WideLength(const WCHAR* text) {
  size_t n = 0;
  while (text[n] != 0) ++n;
  return n;
}

std::string NarrowText(const WCHAR* text) {
  return text != nullptr ? Utf16ToUtf8(std::u16string_view(text, WideLength(text))) : std::string();
}

}  // namespace tlx::win32

namespace {

struct Range {
  char16_t first;
  char16_t last;
};

template <size_t N>
bool InRanges(char16_t c, const Range (&ranges)[N]) {
  for (const Range& r : ranges) {
    if (c >= r.first && c <= r.last) return true;
  }
  return false;
}

constexpr Range kControl[] = {{0x0000, 0x001F}, {0x007F, 0x009F}};
// Tab to carriage return and the space separators.
constexpr Range kSpace[] = {{0x0009, 0x000D}, {0x0020, 0x0020}, {0x00A0, 0x00A0}, {0x1680, 0x1680},
                            {0x2000, 0x200A}, {0x202F, 0x202F}, {0x205F, 0x205F}, {0x3000, 0x3000}};
constexpr Range kHalfWidth[] = {{0x0020, 0x007E}, {0xFF61, 0xFFDC}, {0xFFE8, 0xFFEE}};
constexpr Range kFullWidth[] = {{0x1100, 0x115F}, {0x2E80, 0x303E}, {0x3040, 0xA4CF}, {0xAC00, 0xD7A3},
                                {0xF900, 0xFAFF}, {0xFE30, 0xFE4F}, {0xFF00, 0xFF60}, {0xFFE0, 0xFFE6}};
constexpr Range kIdeograph[] = {
    {0x3005, 0x3007}, {0x3021, 0x3029}, {0x3400, 0x4DBF}, {0x4E00, 0x9FFF}, {0xF900, 0xFAFF}};

WORD Ctype1(char16_t c) {
  WORD type = 0;
  if (InRanges(c, kControl)) type |= C1_CNTRL;
  if (InRanges(c, kSpace)) type |= C1_SPACE;
  return type;
}

WORD Ctype3(char16_t c) {
  WORD type = 0;
  if (InRanges(c, kHalfWidth)) type |= C3_HALFWIDTH;
  if (InRanges(c, kFullWidth)) type |= C3_FULLWIDTH;
  if (InRanges(c, kIdeograph)) type |= C3_IDEOGRAPH;
  return type;
}

}  // namespace

LPWSTR CharNextW(LPCWSTR text) {
  if (text == nullptr) return nullptr;
  LPCWSTR next = text;
  if (*next != 0) {
    const bool high = *next >= 0xD800 && *next <= 0xDBFF;
    ++next;
    if (high && *next >= 0xDC00 && *next <= 0xDFFF) ++next;
  }
  return const_cast<LPWSTR>(next);
}

BOOL GetStringTypeExW(LCID, DWORD infoType, LPCWSTR text, int count, WORD* types) {
  if (text == nullptr || types == nullptr || (count <= 0 && count != -1) ||
      (infoType != CT_CTYPE1 && infoType != CT_CTYPE3)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const size_t length = count == -1 ? tlx::win32::WideLength(text) : static_cast<size_t>(count);
  const auto* in = reinterpret_cast<const char*>(text);
  const auto* out = reinterpret_cast<const char*>(types);
  if (out < in + length * sizeof(WCHAR) && in < out + length * sizeof(WORD)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  for (size_t i = 0; i < length; ++i) types[i] = infoType == CT_CTYPE1 ? Ctype1(text[i]) : Ctype3(text[i]);
  return TRUE;
}

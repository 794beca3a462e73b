// Text conversions of the Windows layer. Narrow text is UTF-8 (the layer's
// code page); wide text is UTF-16. Names that Windows compares without regard
// to case (registry keys and values, INI sections and keys, file names of
// modules) are compared through FoldCase.
#pragma once

#include <string>
#include <string_view>

#include "win32/types.h"

namespace tlx::win32 {

// Malformed input (a bad UTF-8 sequence, a lone surrogate) becomes U+FFFD;
// nothing is dropped silently and nothing reads past the input.
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

// The upper-case form of every character, as a UTF-8 key for comparisons.
std::string FoldCase(std::string_view text);
bool EqualsNoCase(std::string_view a, std::string_view b);

// Length of a zero-terminated wide text.
size_t WideLength(const WCHAR* text);
// A zero-terminated wide text as UTF-8; null gives "".
std::string NarrowText(const WCHAR* text);

}  // namespace tlx::win32

// Character classes of GetStringTypeExW. The layer gives the classes its
// callers read: control and space characters, and the width classes that
// separate ASCII, half-width kana, full-width kana and ideographs.
using LCID = DWORD;
inline constexpr LCID LOCALE_SYSTEM_DEFAULT = 0x0800;
inline constexpr DWORD CT_CTYPE1 = 0x0001;
inline constexpr DWORD CT_CTYPE3 = 0x0004;
inline constexpr WORD C1_SPACE = 0x0008;
inline constexpr WORD C1_CNTRL = 0x0020;
inline constexpr WORD C3_HALFWIDTH = 0x0040;
inline constexpr WORD C3_FULLWIDTH = 0x0080;
inline constexpr WORD C3_IDEOGRAPH = 0x0100;

// The character after `text`: a surrogate pair is one character; at the
// terminating zero the same pointer. Null gives null.
LPWSTR CharNextW(LPCWSTR text);

// One class word per UTF-16 unit of text (count units, or -1 up to the
// terminating zero, which is not classified). The classes do not depend on
// the locale. FALSE with ERROR_INVALID_PARAMETER for a null or overlapping
// buffer, a zero or negative count other than -1, or an unknown class type.
BOOL GetStringTypeExW(LCID locale, DWORD infoType, LPCWSTR text, int count, WORD* types);

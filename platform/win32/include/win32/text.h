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

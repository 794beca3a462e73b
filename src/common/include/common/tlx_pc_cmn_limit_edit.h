// Text measured in the base station's terms: its text fields (names,
// passwords) are limited in Shift-JIS bytes.
#pragma once

#include "win32/types.h"

// Shift-JIS bytes of a text: 1 for each character from U+0000 to U+007F and
// each half-width katakana (U+FF61 to U+FF9F), 2 for every other character
// (a surrogate pair is one character). Null counts 0.
int GetSjisByte(const WCHAR* text);

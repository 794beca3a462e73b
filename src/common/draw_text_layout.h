// How a text is laid out in a rectangle: split into words (a word ends at a
// space, which it keeps, at a line feed, which is a word of its own, and where
// the character width class changes, so Japanese text without spaces still
// wraps), words gathered into lines that fit, the last line ended with "..."
// when text remains, and the lines aligned. Widths come from a function (the
// DC's text extent when drawing); nothing here touches a window.
#pragma once

#include <functional>
#include <vector>

#include "mfc/cstring.h"
#include "win32/types.h"

namespace tlx::common {

using TextWidth = std::function<int(const CString&)>;

// FALSE when the text cannot be classified (nothing is emitted then).
bool SplitStringIntoWords(const WCHAR* text, std::vector<CString>& words);

// One line from the words at `index` on, starting with `carry` (the part of a
// word left over by the previous line, or "\n" after a line feed). Advances
// `index` and sets `carry` for the next line. A word wider than `width` is
// cut where its head fits; when not even one character fits, the line is
// empty and the whole line is carried.
CString BuildLineText(const TextWidth& widthOf, int width, const std::vector<CString>& words, UINT& index,
                      CString& carry);

// The longest prefix of `line` that fits with "..." after it; empty when not
// even "..." fits.
CString AddEllipsis(const TextWidth& widthOf, int width, const CString& line);

// The lines of `words` in at most `lines` lines of `width`; the last one ends
// in "..." when text remains.
std::vector<CString> BuildLines(const TextWidth& widthOf, int width, const std::vector<CString>& words, int lines);

// Where a line of `lineWidth` starts in [left, right), and where `lines`
// lines of `lineHeight` start in [top, bottom), after the alignment bits.
int XStartPos(int left, int right, int lineWidth, UINT align);
int YStartPos(int top, int bottom, int lineHeight, int lines, UINT align);

}  // namespace tlx::common

// CTlxPcCmnDrawText: draws a text word-wrapped into a rectangle, Japanese
// text without spaces included, ending the last line with "..." when text
// remains, and aligns the lines.
//
// Alignment of text drawn into a rectangle. The horizontal position is read
// from the low three bits (exactly CMNPOS_LEFT: left, exactly CMNPOS_RIGHT:
// right, anything else centred), the vertical one from the next three
// (exactly CMNPOS_TOP: top, exactly CMNPOS_BOTTOM: bottom, anything else
// middle).
#pragma once

#include "mfc/afxwin.h"

inline constexpr UINT CMNPOS_LEFT = 0x01;
inline constexpr UINT CMNPOS_HCENTER = 0x02;
inline constexpr UINT CMNPOS_RIGHT = 0x04;
inline constexpr UINT CMNPOS_TOP = 0x08;
inline constexpr UINT CMNPOS_VCENTER = 0x10;
inline constexpr UINT CMNPOS_BOTTOM = 0x20;

class CTlxPcCmnDrawText {
 public:
  ~CTlxPcCmnDrawText() = default;

  // The height of a line in the DC's font.
  static int nGetTextHeight(CDC& dc);
  static int nGetXStartPos(CRect& rect, CDC& dc, CString line, UINT align);
  static int nGetYStartPos(CRect& rect, int lineHeight, int lines, UINT align);
  // Words end at a space (which they keep) and where the width class changes
  // (ASCII, kana, kanji); a line feed is a word of its own; TAB counts as a
  // space and other control characters are dropped.
  static BOOL bSplitStringIntoWords(const WCHAR* text, CStringArray& words);
  // The next line from words[index] on, after `carry`; index and carry move on.
  static CString strBuildLineText(CDC& dc, CRect& rect, CStringArray& words, UINT& index, CString& carry);
  // The longest head of `line` that fits with "..." after it; empty when
  // not even "..." fits.
  static CString strAddEllipsis(CDC& dc, CRect& rect, CString line);
  // Draws `text` in at most maxLines lines with a transparent background.
  static void vDrawText(CDC* dc, const WCHAR* text, RECT* rect, UINT align, UINT maxLines);

 private:
  CTlxPcCmnDrawText() {}
  CTlxPcCmnDrawText& operator=(const CTlxPcCmnDrawText&) { return *this; }
};

#include "common/tlx_pc_cmn_draw_text.h"

#include <algorithm>

#include "draw_text_layout.h"

using namespace tlx::common;

namespace {

TextWidth WidthIn(CDC& dc) {
  return [&dc](const CString& text) { return dc.GetTextExtent(text).cx; };
}

}  // namespace

int CTlxPcCmnDrawText::nGetTextHeight(CDC& dc) { return dc.GetTextExtent(CString(u" ")).cy; }

int CTlxPcCmnDrawText::nGetXStartPos(CRect& rect, CDC& dc, CString line, UINT align) {
  return XStartPos(rect.left, rect.right, dc.GetTextExtent(line).cx, align);
}

int CTlxPcCmnDrawText::nGetYStartPos(CRect& rect, int lineHeight, int lines, UINT align) {
  return YStartPos(rect.top, rect.bottom, lineHeight, lines, align);
}

BOOL CTlxPcCmnDrawText::bSplitStringIntoWords(const WCHAR* text, CStringArray& words) {
  return SplitStringIntoWords(text, words.items()) ? TRUE : FALSE;
}

CString CTlxPcCmnDrawText::strBuildLineText(CDC& dc, CRect& rect, CStringArray& words, UINT& index, CString& carry) {
  return BuildLineText(WidthIn(dc), rect.Width(), words.items(), index, carry);
}

CString CTlxPcCmnDrawText::strAddEllipsis(CDC& dc, CRect& rect, CString line) {
  return AddEllipsis(WidthIn(dc), rect.Width(), line);
}

void CTlxPcCmnDrawText::vDrawText(CDC* dc, const WCHAR* text, RECT* rect, UINT align, UINT maxLines) {
  if (dc == nullptr || rect == nullptr) return;
  CRect area(*rect);
  const int lineHeight = nGetTextHeight(*dc);
  CStringArray words;
  if (lineHeight <= 0 || !bSplitStringIntoWords(text, words) || words.GetSize() == 0) return;
  const int available = std::min(area.Height() / lineHeight, static_cast<int>(std::min<UINT>(maxLines, 0x7FFFFFFF)));
  std::vector<CString> lines = BuildLines(WidthIn(*dc), area.Width(), words.items(), available);
  if (lines.empty()) return;
  const int previousMode = dc->SetBkMode(TRANSPARENT);
  int y = nGetYStartPos(area, lineHeight, static_cast<int>(lines.size()), align);
  for (CString& line : lines) {
    line.TrimRight();
    dc->TextOut(nGetXStartPos(area, *dc, line, align), y, line);
    y += lineHeight;
  }
  dc->SetBkMode(previousMode);
}

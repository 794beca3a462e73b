#include "draw_text_layout.h"

#include <memory>

#include "common/tlx_pc_cmn_draw_text.h"
#include "win32/text.h"

namespace tlx::common {
namespace {

const CString kLineFeed(u"\n");
const CString kEllipsis(u"...");
constexpr WORD kWidthClasses = C3_HALFWIDTH | C3_FULLWIDTH | C3_IDEOGRAPH;

bool IsLowSurrogate(WCHAR c) { return c >= 0xDC00 && c <= 0xDFFF; }

}  // namespace

bool SplitStringIntoWords(const WCHAR* text, std::vector<CString>& words) {
  if (text == nullptr) return false;
  std::u16string source(text);
  if (source.empty()) return true;
  for (char16_t& c : source) {
    if (c == u'\t') c = u' ';
  }
  std::vector<WORD> types(source.size());
  if (!GetStringTypeExW(LOCALE_SYSTEM_DEFAULT, CT_CTYPE1, source.c_str(), static_cast<int>(source.size()),
                        types.data())) {
    return false;
  }
  std::u16string kept;
  kept.reserve(source.size());
  for (size_t i = 0; i < source.size(); ++i) {
    if (!(types[i] & C1_CNTRL) || source[i] == u'\n') kept += source[i];
  }
  if (kept.empty()) return true;
  std::vector<WORD> ctype1(kept.size());
  std::vector<WORD> ctype3(kept.size());
  const int count = static_cast<int>(kept.size());
  if (!GetStringTypeExW(LOCALE_SYSTEM_DEFAULT, CT_CTYPE1, kept.c_str(), count, ctype1.data()) ||
      !GetStringTypeExW(LOCALE_SYSTEM_DEFAULT, CT_CTYPE3, kept.c_str(), count, ctype3.data())) {
    return false;
  }
  auto piece = [&](size_t from, size_t to) {
    return CString(QString::fromUtf16(kept.data() + from, static_cast<qsizetype>(to - from)));
  };
  size_t s = 0;
  for (size_t i = 0; i < kept.size(); ++i) {
    if (kept[i] == u'\n') {
      if (s < i) words.push_back(piece(s, i));
      words.push_back(kLineFeed);
      s = i + 1;
    } else if (ctype1[i] & C1_SPACE) {
      words.push_back(piece(s, i + 1));
      s = i + 1;
    } else if (s < i && !IsLowSurrogate(kept[i]) && (ctype3[i] & kWidthClasses) != (ctype3[i - 1] & kWidthClasses)) {
      words.push_back(piece(s, i));
      s = i;
    }
  }
  if (s < kept.size()) words.push_back(piece(s, kept.size()));
  return true;
}

CString BuildLineText(const TextWidth& widthOf, int width, const std::vector<CString>& words, UINT& index,
                      CString& carry) {
  const UINT count = static_cast<UINT>(words.size());
  auto fits = [&](const CString& text) { return widthOf(text) <= width; };
  CString line = carry == kLineFeed ? CString() : carry;
  if (index < count && words[index] == kLineFeed) {
    ++index;
    carry = kLineFeed;
    return line;
  }
  if (index < count) line += words[index];
  if (fits(line)) {
    for (UINT next = index + 1;; ++next) {
      if (next >= count) {
        index = count;
        carry = CString();
        return line;
      }
      if (words[next] == kLineFeed) {
        index = next + 1;
        carry = kLineFeed;
        return line;
      }
      if (!fits(line + words[next])) {
        index = next + 1;
        carry = words[next];
        return line;
      }
      line += words[next];
    }
  }
  // One word wider than the line: its head that fits, the rest carried. A
  // surrogate pair is never cut.
  if (index < count) ++index;
  for (int head = line.GetLength() - 1; head >= 1; --head) {
    if (IsLowSurrogate(line.GetAt(head))) continue;
    const CString front = line.Left(head);
    if (fits(front)) {
      carry = line.Mid(head);
      return front;
    }
  }
  carry = line;
  return CString();
}

CString AddEllipsis(const TextWidth& widthOf, int width, const CString& line) {
  for (int length = line.GetLength(); length >= 0; --length) {
    if (length > 0 && length < line.GetLength() && IsLowSurrogate(line.GetAt(length))) continue;
    const CString candidate = line.Left(length) + kEllipsis;
    if (widthOf(candidate) <= width) return candidate;
  }
  return CString();
}

std::vector<CString> BuildLines(const TextWidth& widthOf, int width, const std::vector<CString>& words, int lines) {
  std::vector<CString> out;
  if (lines <= 0 || words.empty()) return out;
  const UINT count = static_cast<UINT>(words.size());
  UINT index = 0;
  CString carry;
  for (int built = 0; built < lines - 1; ++built) {
    CString line = BuildLineText(widthOf, width, words, index, carry);
    if (line.IsEmpty() && carry.IsEmpty()) break;
    out.push_back(line);
  }
  if (index >= count && carry.IsEmpty()) return out;
  CString last = BuildLineText(widthOf, width, words, index, carry);
  const bool remains = !carry.IsEmpty() && !(carry == kLineFeed && index >= count);
  if (remains) {
    if (!(carry == kLineFeed)) last += carry;
    last = AddEllipsis(widthOf, width, last);
  }
  out.push_back(last);
  return out;
}

int XStartPos(int left, int right, int lineWidth, UINT align) {
  switch (align & 0x07) {
    case CMNPOS_LEFT:
      return left;
    case CMNPOS_RIGHT:
      return right - lineWidth;
    default:
      return left + (right - left - lineWidth) / 2;
  }
}

int YStartPos(int top, int bottom, int lineHeight, int lines, UINT align) {
  switch (align & 0x38) {
    case CMNPOS_TOP:
      return top;
    case CMNPOS_BOTTOM:
      return bottom - lines * lineHeight;
    default:
      return top + (bottom - top - lines * lineHeight) / 2;
  }
}

}  // namespace tlx::common

#include "limit_edit_filter.h"

#include <algorithm>

#include "common/tlx_pc_cmn_limit_edit.h"
#include "win32/text.h"

namespace tlx::common {
namespace {

// The code of the character at `text`, `units` long (a pair gives its code point).
UINT CodeOf(const WCHAR* text, size_t units) {
  if (units == 2) return 0x10000 + ((static_cast<UINT>(text[0]) - 0xD800) << 10) + (static_cast<UINT>(text[1]) - 0xDC00);
  return text[0];
}

}  // namespace

int SjisBytesOfCharacter(const WCHAR* text) {
  const WCHAR c = text[0];
  return (c <= 0x007F || (c >= 0xFF61 && c <= 0xFF9F)) ? 1 : 2;
}

LimitEditResult FilterLimitEditText(std::u16string_view text, int selStart, int selEnd, const LimitEditRules& rules) {
  const std::u16string whole(text);
  LimitEditResult result;
  int bytes = 0;
  const WCHAR* p = whole.c_str();
  const WCHAR* end = p + whole.size();
  while (p < end) {
    const WCHAR* next = CharNextW(p);
    if (next == p) next = p + 1;  // a zero inside the text is one character
    const size_t units = static_cast<size_t>(next - p);
    const UINT code = CodeOf(p, units);
    if (rules.high != 0 && (code < rules.low || code >= rules.high)) {
      result.changed = true;
    } else {
      bytes += SjisBytesOfCharacter(p);
      if (rules.byteLimit >= 0 && bytes > rules.byteLimit) {
        result.changed = true;
        break;
      }
      result.text.append(p, units);
    }
    p = next;
  }
  const int kept = static_cast<int>(result.text.size());
  result.selFirst = std::clamp(selEnd, 0, kept);
  result.selSecond = std::clamp(selStart, 0, kept);
  return result;
}

}  // namespace tlx::common

int GetSjisByte(const WCHAR* text) {
  if (text == nullptr) return 0;
  int bytes = 0;
  for (const WCHAR* p = text; *p != 0; p = CharNextW(p)) bytes += tlx::common::SjisBytesOfCharacter(p);
  return bytes;
}

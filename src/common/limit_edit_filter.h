// What the limit edit keeps of an edited text: characters outside the
// allowed range are dropped, and the text ends before the first character
// that takes it past the byte limit. The edit applies the result; this touches
// no window.
#pragma once

#include <string>
#include <string_view>

#include "win32/types.h"

namespace tlx::common {

struct LimitEditRules {
  int byteLimit = -1;  // Shift-JIS bytes; -1: no limit
  UINT low = 0;        // allowed characters: low <= code < high; high 0 allows all
  UINT high = 0;
};

struct LimitEditResult {
  bool changed = false;  // something was dropped
  std::u16string text;   // the kept text
  // The selection to restore (EM_SETSEL's two arguments): the previous end and
  // start, each clamped to the kept text.
  int selFirst = 0;
  int selSecond = 0;
};

// Shift-JIS bytes of the character at the start of `text` (1 or 2).
int SjisBytesOfCharacter(const WCHAR* text);

// An out-of-range character is dropped without counting towards the limit.
LimitEditResult FilterLimitEditText(std::u16string_view text, int selStart, int selEnd, const LimitEditRules& rules);

}  // namespace tlx::common

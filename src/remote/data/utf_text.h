// Conversions between UTF-16 and UTF-8 as the remote-code files use them, and
// a text held in both forms.
//
// The conversions are lax, as the files' readers have always been: they keep
// what they can and drop what they cannot map, and never fail.
#pragma once

#include <optional>
#include <string>

// UTF-16 to UTF-8. Stops at a zero unit or after `count` units (-1: only at
// the zero). A surrogate pair gives one 4-byte sequence; a high surrogate
// whose next unit is not a low surrogate is dropped with that unit (alone
// when it is the last unit); any other unit, a lone low surrogate too, gives
// 1 to 3 bytes by value. `out` must hold 3 bytes a unit plus 1; it is
// zero-terminated. Returns the bytes written without the terminator.
int tlxUtf16ToUtf8(const char16_t* text, int count, char* out);

// UTF-8 to UTF-16. A lead byte below 0x80 is one unit; any other gives a
// sequence of 2 (lead below 0xE0), 3 (below 0xF0) or 4 bytes whose following
// bytes add their low 6 bits unchecked. Values above 0xFFFF become a
// surrogate pair, values above 0x10FFFF are dropped. Stops at a zero byte or
// after `count` bytes (-1: only at the zero); a sequence cut by that end is
// dropped and nothing past the end is read. `out` must hold 1 unit a byte
// plus 1; it is zero-terminated. Returns the units written without the
// terminator.
int tlxUtf8ToUtf16(const char* text, int count, char16_t* out);

// The same conversions into strings.
std::string tlxUtf8Of(std::u16string_view text);
std::u16string tlxUtf16Of(std::string_view text);

// One text in its UTF-8 and UTF-16 forms; the form not given is made on first
// request. A null text is empty.
class SesText {
 public:
  SesText() = default;
  // count -1: up to the terminating zero.
  SesText(const char* utf8, int count);
  SesText(const char16_t* utf16, int count);
  explicit SesText(std::u16string utf16);

  const std::string& utf8();
  const std::u16string& utf16();

 private:
  std::optional<std::string> utf8_;
  std::optional<std::u16string> utf16_;
};

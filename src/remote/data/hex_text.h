// Small helpers for hexadecimal text and trailing blanks.
#pragma once

#include <cstdint>
#include <string>

// The value of a hexadecimal digit of either case, -1 for another character.
int tlxHexDigitValue(char c);

// Clears `count` bytes of `out`, then reads pairs of hexadecimal digits into
// it until a character that does not start a pair, the end of the text or
// `count` bytes. With skipBlanks, blanks and tabs after each pair are
// skipped. Returns the bytes written; a null text writes none.
int tlxHexToBytes(const char* text, uint8_t* out, int count, bool skipBlanks);

// Lowercase hexadecimal of `count` bytes, two digits a byte, no separators.
std::string tlxBytesToHex(const uint8_t* bytes, int count);

// Cuts, in place, every trailing character whose code is 32 or less.
void tlxTrimRight(char* text);

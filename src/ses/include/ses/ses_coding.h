// Base64 and hexadecimal text, and the token splitter. The link library
// exports the three coders under its own names.
#pragma once

#include <string>
#include <vector>

// Base64 (RFC 4648 alphabet, '=' padding) of n bytes into `out`, which must
// hold 4 * ceil(n / 3) + 1 bytes. Writes a terminating NUL and returns the
// number of characters before it. A negative n encodes nothing.
int sesBase64Encode(const void* bytes, int n, char* out);

// Value of a Base64 character, or -1 for a character outside the alphabet.
int sesBase64Value(unsigned char c);

// Decodes `length` characters of Base64 text into `out`, which must hold
// length * 3 / 4 + 1 bytes. Characters outside the alphabet (blanks, line
// ends) are skipped and the first '=' ends the text; bits of an incomplete
// last group that do not fill a byte are dropped. Returns the bytes written.
int sesBase64Decode(const char* text, int length, void* out);

// Lowercase hexadecimal text of n bytes, two digits a byte, into `out`, which
// must hold 2n + 1 bytes. Writes a terminating NUL and returns 2n.
int sesHexEncode(const void* bytes, int n, char* out);

// The tokens of `text` separated by any character of `delimiters`, in order;
// runs of delimiters count as one, so no token is empty. A null text gives none.
std::vector<std::string> tlxSplit(const char* delimiters, const char* text);

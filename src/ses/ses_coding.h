// Base64 and hexadecimal text, and the token splitter. The three coders are
// flat C functions that the link library exports as they are.
#pragma once

#include <string>
#include <vector>

#ifndef TLX_EXPORT
#define TLX_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {

// Base64 (RFC 4648 alphabet, '=' padding) of n bytes into `out`, which must
// hold 4 * ceil(n / 3) + 1 bytes. Writes a terminating NUL and returns the
// number of characters before it. A negative n encodes nothing.
TLX_EXPORT int tlxBase64Encode(const void* bytes, int n, char* out);

// Decodes `length` characters of Base64 text into `out`, which must hold
// length * 3 / 4 + 1 bytes. Characters outside the alphabet (blanks, line
// ends) are skipped and the first '=' ends the text; bits of an incomplete
// last group that do not fill a byte are dropped. Returns the bytes written.
TLX_EXPORT int tlxBase64Decode(const char* text, int length, void* out);

// Lowercase hexadecimal text of n bytes, two digits a byte, into `out`, which
// must hold 2n + 1 bytes. Writes a terminating NUL and returns 2n.
TLX_EXPORT int tlxHexEncode(const void* bytes, int n, char* out);

}  // extern "C"

// The tokens of `text` separated by any character of `delimiters`, in order;
// runs of delimiters count as one, so no token is empty. A null text gives none.
std::vector<std::string> tlxSplit(const char* delimiters, const char* text);

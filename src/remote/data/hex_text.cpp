#include "remote/data/hex_text.h"

#include <cstring>

#include "ses/ses_coding.h"

int tlxHexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

int tlxHexToBytes(const char* text, uint8_t* out, int count, bool skipBlanks) {
  if (out == nullptr || count <= 0) return 0;
  std::memset(out, 0, static_cast<size_t>(count));
  if (text == nullptr) return 0;
  int written = 0;
  const char* p = text;
  while (written < count) {
    int high = tlxHexDigitValue(p[0]);
    if (high < 0) break;
    int low = tlxHexDigitValue(p[1]);
    if (low < 0) break;
    out[written++] = static_cast<uint8_t>(high * 16 + low);
    p += 2;
    if (skipBlanks) {
      while (*p == ' ' || *p == '\t') ++p;
    }
  }
  return written;
}

std::string tlxBytesToHex(const uint8_t* bytes, int count) {
  if (bytes == nullptr || count <= 0) return {};
  std::string text(static_cast<size_t>(count) * 2 + 1, '\0');
  text.resize(static_cast<size_t>(sesHexEncode(bytes, count, text.data())));
  return text;
}

void tlxTrimRight(char* text) {
  if (text == nullptr) return;
  size_t n = std::strlen(text);
  while (n > 0 && static_cast<unsigned char>(text[n - 1]) <= 32) --n;
  text[n] = '\0';
}

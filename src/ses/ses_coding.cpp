#include "ses/ses_coding.h"

#include <cstdint>
#include <cstring>

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

}  // namespace

int sesBase64Value(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

int sesBase64Encode(const void* bytes, int n, char* out) {
  const auto* in = static_cast<const uint8_t*>(bytes);
  int written = 0;
  for (int i = 0; i < n; i += 3) {
    int left = n - i;
    uint32_t group = static_cast<uint32_t>(in[i]) << 16;
    if (left > 1) group |= static_cast<uint32_t>(in[i + 1]) << 8;
    if (left > 2) group |= in[i + 2];
    out[written++] = kAlphabet[(group >> 18) & 63];
    out[written++] = kAlphabet[(group >> 12) & 63];
    out[written++] = left > 1 ? kAlphabet[(group >> 6) & 63] : '=';
    out[written++] = left > 2 ? kAlphabet[group & 63] : '=';
  }
  out[written] = '\0';
  return written;
}

int sesBase64Decode(const char* text, int length, void* out) {
  auto* dst = static_cast<uint8_t*>(out);
  int written = 0;
  uint32_t bits = 0;
  int inGroup = 0;
  for (int i = 0; i < length; ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '=') break;
    int value = sesBase64Value(c);
    if (value < 0) continue;
    bits = (bits << 6) | static_cast<uint32_t>(value);
    // The second, third and fourth character of a group each complete a byte.
    if (inGroup > 0) dst[written++] = static_cast<uint8_t>(bits >> (6 - 2 * inGroup));
    inGroup = (inGroup + 1) % 4;
  }
  return written;
}

int sesHexEncode(const void* bytes, int n, char* out) {
  static constexpr char kDigits[] = "0123456789abcdef";
  const auto* in = static_cast<const uint8_t*>(bytes);
  int written = 0;
  for (int i = 0; i < n; ++i) {
    out[written++] = kDigits[in[i] >> 4];
    out[written++] = kDigits[in[i] & 15];
  }
  out[written] = '\0';
  return written;
}

std::vector<std::string> tlxSplit(const char* delimiters, const char* text) {
  std::vector<std::string> tokens;
  if (text == nullptr) return tokens;
  const char* delims = delimiters ? delimiters : "";
  const char* p = text;
  while (*p != '\0') {
    size_t skip = std::strspn(p, delims);
    p += skip;
    size_t token = std::strcspn(p, delims);
    if (token > 0) tokens.emplace_back(p, token);
    p += token;
  }
  return tokens;
}

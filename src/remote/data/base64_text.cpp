#include "remote_data/base64_text.h"

#include <cstdint>

#include "ses/ses_coding.h"

BOOL tlxBase64DecodeText(const char* data, unsigned length, unsigned char* output, int* size) {
  if (data == nullptr || size == nullptr) return FALSE;
  const int64_t capacity = output ? *size : 0;
  int64_t total = 0;
  bool fits = output != nullptr;
  unsigned i = 0;
  while (i < length) {
    uint32_t bits = 0;
    int digits = 0;
    for (; i < length && digits < 4; ++i) {
      int value = sesBase64Value(static_cast<unsigned char>(data[i]));
      if (value < 0) continue;
      bits = (bits << 6) | static_cast<uint32_t>(value);
      ++digits;
    }
    bits <<= 6 * (4 - digits);
    const int bytes = digits * 6 / 8;
    if (fits && total + bytes > capacity) fits = false;
    if (fits) {
      for (int k = 0; k < bytes; ++k) output[total + k] = static_cast<unsigned char>(bits >> (16 - 8 * k));
    }
    total += bytes;
  }
  *size = total > INT32_MAX ? INT32_MAX : static_cast<int>(total);
  return fits ? TRUE : FALSE;
}

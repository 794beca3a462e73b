#include "remote/data/text_filters.h"

#include <new>

#include "remote/data/hex_text.h"
#include "ses/ses_coding.h"

SesBase64DecodeFilter::SesBase64DecodeFilter(const void* bytes, uint32_t length)
    : SesFilter(bytes, length) {
  process();
}

void SesBase64DecodeFilter::process() {
  uint64_t n = input().size();
  if (n > INT32_MAX) throw std::bad_alloc();
  SesBytes& out = makeOutput(static_cast<uint32_t>(n * 3 / 4 + 1));
  int written = sesBase64Decode(reinterpret_cast<const char*>(input().data()), static_cast<int>(n),
                                out.data());
  out.resize(static_cast<uint32_t>(written));
}

SesHexFilter::SesHexFilter(const void* bytes, uint32_t length) : SesFilter(bytes, length) {
  process();
}

void SesHexFilter::process() {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  uint64_t n = input().size();
  if (n * 3 + 1 > INT32_MAX) throw std::bad_alloc();
  SesBytes& out = makeOutput(static_cast<uint32_t>(n * 3 + 1));
  uint8_t* text = out.data();
  uint32_t at = 0;
  for (uint32_t i = 0; i < n; ++i) {
    if (i > 0) text[at++] = ' ';
    text[at++] = static_cast<uint8_t>(kDigits[input().data()[i] >> 4]);
    text[at++] = static_cast<uint8_t>(kDigits[input().data()[i] & 15]);
  }
  text[at++] = '\0';
  out.resize(at);
}

SesHexDecodeFilter::SesHexDecodeFilter(const void* bytes, uint32_t length)
    : SesFilter(bytes, length) {
  process();
}

void SesHexDecodeFilter::process() {
  const uint8_t* text = input().data();
  uint32_t n = input().size();
  SesBytes& out = makeOutput(n / 2 + 1);
  uint32_t written = 0;
  uint32_t i = 0;
  while (i < n) {
    int high = tlxHexDigitValue(static_cast<char>(text[i]));
    if (high < 0) {
      ++i;
      continue;
    }
    int low = i + 1 < n ? tlxHexDigitValue(static_cast<char>(text[i + 1])) : -1;
    out.data()[written++] = static_cast<uint8_t>(low < 0 ? high : high * 16 + low);
    i += 2;
  }
  out.resize(written);
}

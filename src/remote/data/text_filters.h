// The filters of the remote-code files' code column that the ses library does
// not have: Base64 decoding and the hexadecimal text in both directions. Each
// owns a copy of its input and makes its output when it is built.
#pragma once

#include <cstdint>

#include "ses/ses_filter.h"

// The bytes of the input's Base64 text (characters outside the alphabet are
// skipped, the first '=' ends the text).
class SesBase64DecodeFilter : public SesFilter {
 public:
  SesBase64DecodeFilter(const void* bytes, uint32_t length);
  void process() override;
};

// Each input byte as two uppercase digits, one blank between bytes; the
// output holds the text and its NUL.
class SesHexFilter : public SesFilter {
 public:
  SesHexFilter(const void* bytes, uint32_t length);
  void process() override;
};

// The bytes of a hexadecimal text: pairs of digits in either case; other
// characters are skipped, and a digit followed by a non-digit (or by the end)
// is a byte of that one digit's value.
class SesHexDecodeFilter : public SesFilter {
 public:
  SesHexDecodeFilter(const void* bytes, uint32_t length);
  void process() override;
};

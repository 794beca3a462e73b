// The remote-code files' block cipher and the copying transform that stands
// in for it in the unkeyed seal. Both plug into the message seal of the ses
// library (SesMessage) as its block transform.
#pragma once

#include <cstdint>

#include "ses/ses_bytes.h"
#include "ses/ses_cipher.h"

// The keyed transform of the ses library over the key text's own bytes (no
// terminator, no digest), on whole 16-byte blocks. Unlike the link library's
// command key, the key index runs modulo the text's length.
class SesIf : public SesKeyedTransform {
 public:
  // The key is the text up to its terminating zero; a null text is empty,
  // and an empty key refuses every run.
  explicit SesIf(const char* keyText);

  // Pads a copy of `length` bytes with zeros to whole blocks and runs the
  // cipher over it into `out` (the padded length). False, `out` untouched,
  // for an empty key.
  bool Encrypt(const void* data, uint32_t length, SesBytes& out) const;
  bool Decrypt(const void* data, uint32_t length, SesBytes& out) const;
};

// The unkeyed transform: leaves the bytes as they are and pads nothing.
class SesCopyTransform : public SesBlockTransform {
 public:
  uint32_t blockSize() const override { return 1; }
  bool forward(uint8_t*, size_t) const override { return true; }
  bool inverse(uint8_t*, size_t) const override { return true; }
};

// One-step filters: an input buffer turned into an output buffer, and the MD5
// digest they and the ciphers use.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "ses/ses_bytes.h"

inline constexpr size_t kSesDigestSize = 16;

// MD5 (RFC 1321) of n bytes.
void sesMd5(const void* data, size_t n, uint8_t digest[kSesDigestSize]);

// A filter owns a copy of its input; process() builds the output. The
// concrete filters process in their constructor.
class SesFilter {
 public:
  SesFilter(const void* bytes, uint32_t length);
  virtual ~SesFilter();
  SesFilter(const SesFilter&) = delete;
  SesFilter& operator=(const SesFilter&) = delete;

  // Null and 0 before processing.
  const uint8_t* outputData() const { return output_ ? output_->data() : nullptr; }
  uint32_t outputSize() const { return output_ ? output_->size() : 0; }

  virtual void process() = 0;

 protected:
  const SesBytes& input() const { return input_; }
  SesBytes& makeOutput(uint32_t size);

 private:
  SesBytes input_;
  std::unique_ptr<SesBytes> output_;
};

// The Base64 text of the input; the output holds the text and its NUL.
class SesBase64Filter : public SesFilter {
 public:
  SesBase64Filter(const void* bytes, uint32_t length);
  void process() override;
};

// The 16-byte MD5 digest of the input.
class SesMd5Filter : public SesFilter {
 public:
  SesMd5Filter(const void* bytes, uint32_t length);
  void process() override;
};

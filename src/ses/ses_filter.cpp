#include "ses/ses_filter.h"

#include <openssl/evp.h>

#include <new>

#include "ses/ses_coding.h"

void sesMd5(const void* data, size_t n, uint8_t digest[kSesDigestSize]) {
  unsigned int length = 0;
  // The digest fails only when OpenSSL cannot allocate its context.
  if (EVP_Digest(data, n, digest, &length, EVP_md5(), nullptr) != 1) throw std::bad_alloc();
}

SesFilter::SesFilter(const void* bytes, uint32_t length) : input_(bytes, length) {}

SesFilter::~SesFilter() = default;

SesBytes& SesFilter::makeOutput(uint32_t size) {
  output_ = std::make_unique<SesBytes>(size);
  return *output_;
}

SesBase64Filter::SesBase64Filter(const void* bytes, uint32_t length) : SesFilter(bytes, length) {
  process();
}

void SesBase64Filter::process() {
  uint64_t n = input().size();
  uint64_t room = (4 * n + 8) / 3 + 1;
  if (room > INT32_MAX) throw std::bad_alloc();
  SesBytes& out = makeOutput(static_cast<uint32_t>(room));
  int text = sesBase64Encode(input().data(), static_cast<int>(n), reinterpret_cast<char*>(out.data()));
  out.resize(static_cast<uint32_t>(text) + 1);
}

SesMd5Filter::SesMd5Filter(const void* bytes, uint32_t length) : SesFilter(bytes, length) {
  process();
}

void SesMd5Filter::process() {
  SesBytes& out = makeOutput(kSesDigestSize);
  sesMd5(input().data(), input().size(), out.data());
}

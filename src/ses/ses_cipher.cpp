#include "ses/ses_cipher.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "ses/ses_filter.h"

bool sesKeyedTransform(uint8_t* data, size_t n, const uint8_t* key, size_t keyLength,
                       SesDirection direction) {
  if (keyLength == 0) return false;
  // The block's plain bytes so far, followed by the key byte of the next one.
  uint8_t work[kSesBlockSize + 1];
  uint8_t digest[kSesDigestSize];
  for (size_t block = 0; block < n; block += kSesBlockSize) {
    size_t count = std::min<size_t>(kSesBlockSize, n - block);
    for (size_t i = 0; i < count; ++i) {
      size_t a = block + i;
      work[i] = key[sesKeyIndex(a, keyLength)];
      sesMd5(work, i + 1, digest);
      uint8_t in = data[a];
      uint8_t out = in ^ digest[0];
      data[a] = out;
      work[i] = direction == SesDirection::Forward ? in : out;
    }
  }
  return true;
}

SesXorCipher::SesXorCipher(const uint8_t* key, size_t keyLength) : key_(key, key + keyLength) {}

void SesXorCipher::apply(uint8_t* data, size_t n) const {
  if (key_.empty()) return;
  for (size_t i = 0; i < n; ++i) data[i] ^= key_[sesKeyIndex(i, key_.size())];
}

SesKeyedTransform::SesKeyedTransform(const uint8_t* key, size_t keyLength)
    : key_(key, key + keyLength) {}

bool SesKeyedTransform::forward(uint8_t* data, size_t n) const {
  return sesKeyedTransform(data, n, key_.data(), key_.size(), SesDirection::Forward);
}

bool SesKeyedTransform::inverse(uint8_t* data, size_t n) const {
  return sesKeyedTransform(data, n, key_.data(), key_.size(), SesDirection::Inverse);
}

namespace {

std::array<uint8_t, kSesDigestSize> keyTextDigest(const char* keyText) {
  std::array<uint8_t, kSesDigestSize> digest{};
  sesMd5(keyText, keyText ? std::strlen(keyText) : 0, digest.data());
  return digest;
}

std::array<uint8_t, kSesDigestSize> cutAtFirstZero(std::array<uint8_t, kSesDigestSize> digest) {
  auto zero = std::find(digest.begin(), digest.end(), 0);
  std::fill(zero, digest.end(), 0);
  return digest;
}

}  // namespace

SesCipherKey::SesCipherKey(const char* keyText)
    : SesKeyedTransform(cutAtFirstZero(keyTextDigest(keyText)).data(), kSesDigestSize) {}

SesBlockFilter::SesBlockFilter(const char* keyText)
    : SesKeyedTransform(keyTextDigest(keyText).data(), kSesDigestSize) {}

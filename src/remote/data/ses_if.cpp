#include "remote/data/ses_if.h"

#include <cstring>
#include <utility>

namespace {

const uint8_t* keyBytes(const char* keyText) {
  return reinterpret_cast<const uint8_t*>(keyText ? keyText : "");
}

size_t keyLength(const char* keyText) { return keyText ? std::strlen(keyText) : 0; }

// Copies the input padded to whole blocks and runs one direction over it.
bool run(const SesIf& cipher, const void* data, uint32_t length, bool encrypt, SesBytes& out) {
  SesPaddedBytes buffer(data, length, cipher.blockSize());
  bool ok = encrypt ? cipher.forward(buffer.data(), buffer.paddedSize())
                    : cipher.inverse(buffer.data(), buffer.paddedSize());
  if (!ok) return false;
  out = SesBytes(buffer.data(), buffer.paddedSize());
  return true;
}

}  // namespace

SesIf::SesIf(const char* keyText) : SesKeyedTransform(keyBytes(keyText), keyLength(keyText)) {}

bool SesIf::Encrypt(const void* data, uint32_t length, SesBytes& out) const {
  return run(*this, data, length, true, out);
}

bool SesIf::Decrypt(const void* data, uint32_t length, SesBytes& out) const {
  return run(*this, data, length, false, out);
}

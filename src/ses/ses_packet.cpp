#include "ses/ses_packet.h"

#include <cstring>
#include <new>

#include "ses/ses_bytes.h"
#include "ses/ses_random.h"
#include "ses/ses_seal_body.h"

std::unique_ptr<SesPacket> SesPacket::create() {
  return std::unique_ptr<SesPacket>(new (std::nothrow) SesPacket());
}

SesPacket::SesPacket() { std::memset(prefix_, 0xFF, sizeof prefix_); }

size_t SesPacket::sealedSize(size_t length) {
  return (length + 15) / 16 * 16 + kSesPrefixSize + kSesHeaderSize;
}

ptrdiff_t SesPacket::openedSize(size_t n) {
  return static_cast<ptrdiff_t>(n) - static_cast<ptrdiff_t>(kSesPrefixSize + kSesHeaderSize);
}

void SesPacket::setPrefix(const uint8_t* prefix) { std::memcpy(prefix_, prefix, sizeof prefix_); }

void SesPacket::setKeyText(const char* keyText) {
  if (keyText == nullptr || *keyText == '\0') {
    key_.reset();
    return;
  }
  key_.emplace(keyText);
}

bool SesPacket::seal(const void* payload, size_t length, void* out) const {
  if (!key_ || length > kSesMaxPayload || (payload == nullptr && length > 0)) return false;
  uint8_t* sealed = static_cast<uint8_t*>(out);
  uint8_t* body = sealed + kSesPrefixSize;
  size_t bodySize = sealedSize(length) - kSesPrefixSize;
  sesSealBody(payload, length, SesLengthOrder::HighFirst, body);
  size_t used = kSesHeaderSize + length;
  sesRandomFill(body + used, bodySize - used);
  key_->forward(body, bodySize);
  std::memcpy(sealed, prefix_, kSesPrefixSize);
  return true;
}

bool SesPacket::open(const void* data, size_t n, void* out, size_t* length) const {
  if (n < kSesPrefixSize + kSesHeaderSize || n > sealedSize(kSesMaxPayload) ||
      (n - kSesPrefixSize) % kSesBlockSize != 0) {
    return false;
  }
  const uint8_t* sealed = static_cast<const uint8_t*>(data);
  if (std::memcmp(sealed, prefix_, kSesPrefixSize) != 0 || !key_) return false;
  size_t bodySize = n - kSesPrefixSize;
  SesBytes body(sealed + kSesPrefixSize, static_cast<uint32_t>(bodySize));
  key_->inverse(body.data(), bodySize);
  size_t opened = 0;
  if (!sesOpenBody(body.data(), bodySize, SesLengthOrder::HighFirst, false,
                   static_cast<uint8_t*>(out), &opened)) {
    return false;
  }
  if (length) *length = opened;
  return true;
}

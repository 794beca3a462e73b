#include "ses/ses_message.h"

#include <cstring>
#include <utility>

#include "ses/ses_seal_body.h"

namespace {

constexpr uint8_t kMarker[kSesPrefixSize] = {0xFF, 0xFF, 0xFF, 0xFF};

// The largest input worth opening: a 65535-byte payload sealed with the
// largest padding a block transform may ask for.
constexpr size_t kMaxSealed = kSesPrefixSize + kSesHeaderSize + kSesMaxPayload + 0xFFFF;

}  // namespace

bool SesMessage::seal(const void* payload, size_t length, const SesBlockTransform& transform,
                      SesBytes& out) {
  if (length > kSesMaxPayload || (payload == nullptr && length > 0)) return false;
  SesPaddedBytes body(static_cast<uint32_t>(kSesHeaderSize + length), transform.blockSize());
  sesSealBody(payload, length, SesLengthOrder::LowFirst, body.data());
  if (!transform.forward(body.data(), body.paddedSize())) return false;
  SesBytes sealed(static_cast<uint32_t>(kSesPrefixSize + body.paddedSize()));
  std::memcpy(sealed.data(), kMarker, kSesPrefixSize);
  std::memcpy(sealed.data() + kSesPrefixSize, body.data(), body.paddedSize());
  out = std::move(sealed);
  return true;
}

bool SesMessage::seal(const void* payload, size_t length, const char* keyText, SesBytes& out) {
  return seal(payload, length, SesBlockFilter(keyText), out);
}

bool SesMessage::open(const void* data, size_t n, const SesBlockTransform& transform,
                      SesBytes& payload) {
  if (data == nullptr || n < kSesPrefixSize + kSesHeaderSize || n > kMaxSealed) return false;
  size_t present = n - kSesPrefixSize;
  // Missing bytes of a last partial block count as zero.
  SesPaddedBytes body(static_cast<const uint8_t*>(data) + kSesPrefixSize,
                      static_cast<uint32_t>(present), transform.blockSize());
  if (!transform.inverse(body.data(), body.paddedSize())) return false;
  SesBytes opened(static_cast<uint32_t>(present - kSesHeaderSize));
  size_t length = 0;
  if (!sesOpenBody(body.data(), present, SesLengthOrder::LowFirst, true, opened.data(), &length)) {
    return false;
  }
  opened.resize(static_cast<uint32_t>(length));
  payload = std::move(opened);
  return true;
}

bool SesMessage::open(const void* data, size_t n, const char* keyText, SesBytes& payload) {
  return open(data, n, SesBlockFilter(keyText), payload);
}

#include "ses/ses_seal_body.h"

#include <cstring>

#include "ses/ses_cipher.h"
#include "ses/ses_filter.h"
#include "ses/ses_random.h"

namespace {

constexpr size_t kLengthAt = 8;
constexpr size_t kDigestAt = 12;
constexpr size_t kDigestWord = 4;

}  // namespace

void sesSealBody(const void* payload, size_t length, SesLengthOrder order, uint8_t* body) {
  uint8_t digest[kSesDigestSize];
  sesMd5(payload, length, digest);

  std::memset(body, 0, kSesHeaderSize);
  sesRandomFill(body, kSesRandomSize);
  uint8_t high = static_cast<uint8_t>(length >> 8);
  uint8_t low = static_cast<uint8_t>(length & 0xFF);
  body[kLengthAt] = order == SesLengthOrder::HighFirst ? high : low;
  body[kLengthAt + 1] = order == SesLengthOrder::HighFirst ? low : high;
  std::memcpy(body + kDigestAt, digest, kDigestWord);

  if (length > 0) std::memcpy(body + kSesHeaderSize, payload, length);
  SesXorCipher(body, kSesRandomSize).apply(body + kSesHeaderSize, length);
}

bool sesOpenBody(const uint8_t* body, size_t n, SesLengthOrder order, bool cutLength, uint8_t* out,
                 size_t* length) {
  if (n < kSesHeaderSize) return false;
  size_t first = body[kLengthAt];
  size_t second = body[kLengthAt + 1];
  size_t claimed = order == SesLengthOrder::HighFirst ? (first << 8) | second : (second << 8) | first;
  size_t present = n - kSesHeaderSize;
  if (claimed > present) {
    if (!cutLength) return false;
    claimed = present;
  }

  if (claimed > 0) std::memcpy(out, body + kSesHeaderSize, claimed);
  SesXorCipher(body, kSesRandomSize).apply(out, claimed);
  uint8_t digest[kSesDigestSize];
  sesMd5(out, claimed, digest);
  if (std::memcmp(digest, body + kDigestAt, kDigestWord) != 0) {
    std::memset(out, 0, claimed);
    return false;
  }
  *length = claimed;
  return true;
}

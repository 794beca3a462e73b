// The packet seal: the payload behind a settable 4-byte prefix, its length in
// the header high byte first, random padding, and the key of the key text
// read as a text (SesCipherKey). Opening checks the prefix and refuses a
// length larger than the data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

#include "ses/ses_cipher.h"

class SesPacket {
 public:
  // Null when out of memory.
  static std::unique_ptr<SesPacket> create();

  SesPacket();

  // Bytes a payload of `length` bytes seals into: (length + 15) / 16 * 16 + 20.
  static size_t sealedSize(size_t length);
  // Upper bound of the payload in n sealed bytes: n - 20 (negative when n is too short).
  static ptrdiff_t openedSize(size_t n);

  // Copies 4 prefix bytes; the prefix is FF FF FF FF until set.
  void setPrefix(const uint8_t* prefix);
  const uint8_t* prefix() const { return prefix_; }
  // Keeps the key for the key text; null or empty removes it.
  void setKeyText(const char* keyText);

  // Seals `length` (at most 65535) payload bytes into `out`, which must hold
  // sealedSize(length) bytes. False without a key text or for a longer payload.
  bool seal(const void* payload, size_t length, void* out) const;
  // Opens n sealed bytes into `out`, which must hold openedSize(n) bytes, and
  // gives the payload length. False for a size that is not the prefix and
  // whole 16-byte blocks (at least one, at most what 65535 bytes seal into),
  // another prefix, no key text, a length above the data or a digest that
  // does not match.
  bool open(const void* data, size_t n, void* out, size_t* length = nullptr) const;

 private:
  uint8_t prefix_[4];
  std::optional<SesCipherKey> key_;
};

// The masking step and the keyed byte transform of the seals.
//
// The keyed transform works block by block (16 bytes); the mask of byte i of
// a block is the first byte of MD5(the block's plain bytes before i, followed
// by one key byte), the key byte chosen by the byte's offset a in the whole
// buffer at (a + a/17 + a/277) mod keyLength. The inverse recomputes the
// digests from the plain bytes it has already recovered.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

inline constexpr uint32_t kSesBlockSize = 16;

// Key index of buffer offset a for a key of keyLength bytes.
inline size_t sesKeyIndex(size_t a, size_t keyLength) {
  return (a + a / 17 + a / 277) % keyLength;
}

enum class SesDirection { Forward, Inverse };

// Runs the keyed transform in place over n bytes (a last partial block is
// transformed as far as it goes). False, with nothing changed, for an empty key.
bool sesKeyedTransform(uint8_t* data, size_t n, const uint8_t* key, size_t keyLength,
                       SesDirection direction);

// XOR with a repeating key under the same key index; its own inverse.
class SesXorCipher {
 public:
  SesXorCipher(const uint8_t* key, size_t keyLength);
  void apply(uint8_t* data, size_t n) const;

 private:
  std::vector<uint8_t> key_;
};

// What the seals run over the header and payload: it says to which block size
// the buffer is padded before it runs (1: none) and transforms in place.
class SesBlockTransform {
 public:
  virtual ~SesBlockTransform() = default;
  virtual uint32_t blockSize() const = 0;
  virtual bool forward(uint8_t* data, size_t n) const = 0;
  virtual bool inverse(uint8_t* data, size_t n) const = 0;
};

// The keyed transform under given key bytes, over buffers padded to 16 bytes.
class SesKeyedTransform : public SesBlockTransform {
 public:
  SesKeyedTransform(const uint8_t* key, size_t keyLength);
  uint32_t blockSize() const override { return kSesBlockSize; }
  bool forward(uint8_t* data, size_t n) const override;
  bool inverse(uint8_t* data, size_t n) const override;
  const std::vector<uint8_t>& key() const { return key_; }

 private:
  std::vector<uint8_t> key_;
};

// Packet variant: the key is the MD5 of the key text read as a text of at most
// 16 bytes, so every byte from the digest's first zero byte on is 0.
class SesCipherKey : public SesKeyedTransform {
 public:
  explicit SesCipherKey(const char* keyText);
};

// Message variant: the key is all 16 bytes of the MD5 of the key text.
class SesBlockFilter : public SesKeyedTransform {
 public:
  explicit SesBlockFilter(const char* keyText);
};

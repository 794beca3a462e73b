// Owned byte buffers: the plain buffer, the buffer rounded up to a block size
// and the buffer of random bytes. The ciphers and filters of this library and
// of the remote control work on them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

// An owned byte buffer. Storage only grows: a smaller size keeps the block, so
// shrinking and growing back does not reallocate.
class SesBytes {
 public:
  // n zero bytes.
  explicit SesBytes(uint32_t size = 0);
  // A copy of `length` bytes.
  SesBytes(const void* bytes, uint32_t length);
  virtual ~SesBytes();

  SesBytes(SesBytes&& other) noexcept;
  SesBytes& operator=(SesBytes&& other) noexcept;
  SesBytes(const SesBytes&) = delete;
  SesBytes& operator=(const SesBytes&) = delete;

  // Replaces the contents with `length` bytes; -1 takes `bytes` as a text and
  // stores it with its NUL. Returns the new size, or -1 (contents unchanged)
  // for a null text or another negative length.
  int assign(const void* bytes, int length);
  // Zero-fills the current contents.
  void clear();
  uint8_t* data() { return data_.get(); }
  const uint8_t* data() const { return data_.get(); }
  uint32_t size() const { return size_; }
  // New size n; bytes beyond the old size read as zero.
  void resize(uint32_t n);

 private:
  std::unique_ptr<uint8_t[]> data_;
  uint32_t size_ = 0;
  uint32_t capacity_ = 0;
};

// A buffer whose storage is rounded up to whole blocks. The bytes past size()
// up to paddedSize() are the padding and are always zero when made, so a
// transform that runs over whole blocks never reads stale heap contents.
class SesPaddedBytes {
 public:
  // size zero bytes plus zero padding. A block size of 0 means no padding.
  SesPaddedBytes(uint32_t size, uint32_t blockSize);
  // A copy of `length` bytes plus zero padding.
  SesPaddedBytes(const void* bytes, uint32_t length, uint32_t blockSize);

  uint8_t* data() { return storage_.data(); }
  const uint8_t* data() const { return storage_.data(); }
  uint32_t size() const { return size_; }
  uint32_t padding() const { return padding_; }
  uint32_t paddedSize() const { return size_ + padding_; }

  // Padding that rounds `size` up to a multiple of `blockSize`.
  static uint32_t paddingFor(uint32_t size, uint32_t blockSize);

 private:
  uint32_t size_;
  uint32_t padding_;
  SesBytes storage_;
};

// n bytes from the library's random generator (ses_random.h).
class SesRandomBytes : public SesBytes {
 public:
  explicit SesRandomBytes(uint32_t n);
};

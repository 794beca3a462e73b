#include "ses/ses_bytes.h"

#include <cstring>
#include <new>
#include <utility>

#include "ses/ses_random.h"

namespace {

std::unique_ptr<uint8_t[]> zeroedBlock(uint32_t n) {
  return std::unique_ptr<uint8_t[]>(new uint8_t[n == 0 ? 1 : n]());
}

// A size whose padding would not fit the 32-bit size cannot be allocated.
uint32_t paddedTotal(uint32_t size, uint32_t padding) {
  if (size > UINT32_MAX - padding) throw std::bad_alloc();
  return size + padding;
}

}  // namespace

SesBytes::SesBytes(uint32_t size) : data_(zeroedBlock(size)), size_(size), capacity_(size) {}

SesBytes::SesBytes(const void* bytes, uint32_t length) : SesBytes(length) {
  if (length > 0) std::memcpy(data_.get(), bytes, length);
}

SesBytes::~SesBytes() = default;

SesBytes::SesBytes(SesBytes&& other) noexcept
    : data_(std::move(other.data_)),
      size_(std::exchange(other.size_, 0)),
      capacity_(std::exchange(other.capacity_, 0)) {}

SesBytes& SesBytes::operator=(SesBytes&& other) noexcept {
  data_ = std::move(other.data_);
  size_ = std::exchange(other.size_, 0);
  capacity_ = std::exchange(other.capacity_, 0);
  return *this;
}

int SesBytes::assign(const void* bytes, int length) {
  if (length == -1) {
    if (bytes == nullptr) return -1;
    size_t text = std::strlen(static_cast<const char*>(bytes)) + 1;
    if (text > INT32_MAX) return -1;
    length = static_cast<int>(text);
  }
  if (length < 0 || (length > 0 && bytes == nullptr)) return -1;
  uint32_t n = static_cast<uint32_t>(length);
  if (n > capacity_) {
    data_ = zeroedBlock(n);
    capacity_ = n;
  }
  if (n > 0) std::memmove(data_.get(), bytes, n);
  size_ = n;
  return length;
}

void SesBytes::clear() {
  if (data_) std::memset(data_.get(), 0, size_);
}

void SesBytes::resize(uint32_t n) {
  if (n > capacity_) {
    auto grown = zeroedBlock(n);
    if (size_ > 0) std::memcpy(grown.get(), data_.get(), size_);
    data_ = std::move(grown);
    capacity_ = n;
  } else if (n > size_) {
    std::memset(data_.get() + size_, 0, n - size_);
  }
  size_ = n;
}

uint32_t SesPaddedBytes::paddingFor(uint32_t size, uint32_t blockSize) {
  if (blockSize == 0) return 0;
  return (blockSize - size % blockSize) % blockSize;
}

SesPaddedBytes::SesPaddedBytes(uint32_t size, uint32_t blockSize)
    : size_(size), padding_(paddingFor(size, blockSize)), storage_(paddedTotal(size, padding_)) {}

SesPaddedBytes::SesPaddedBytes(const void* bytes, uint32_t length, uint32_t blockSize)
    : SesPaddedBytes(length, blockSize) {
  if (length > 0) std::memcpy(storage_.data(), bytes, length);
}

SesRandomBytes::SesRandomBytes(uint32_t n) : SesBytes(n) {
  sesRandomFill(data(), n);
}

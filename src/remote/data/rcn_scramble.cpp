#include "remote/data/rcn_scramble.h"

#include <utility>

#include "remote/data/rcn_format.h"

namespace {

// The running value and offset that each Base64 character moves.
struct RunningKey {
  uint16_t value;
  uint8_t offset = 0;

  explicit RunningKey(size_t start) : value(static_cast<uint16_t>(start & 0xFFFF)) {}

  // Moves on with the plain character of the current position.
  void advance(char plain) {
    uint32_t sum = static_cast<uint8_t>(plain) + static_cast<uint32_t>(value) + kRcnMixAdd;
    value = static_cast<uint16_t>(sum * kRcnMixMultiply);
    offset = static_cast<uint8_t>((offset + (value >> 8)) % 64);
  }
};

}  // namespace

RcnScrambleTables::RcnScrambleTables() {
  static constexpr char kStandard[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz+/";
  reverse_.fill(-1);
  for (int i = 0; i < 64; ++i) {
    standard_[i] = kStandard[i];
    reverse_[static_cast<uint8_t>(kStandard[i])] = static_cast<int8_t>(i);
  }
  for (int i = 0; i < 64; ++i) {
    alphabet_[i] = kRcnAlphabet[i];
    mapped_[i] = static_cast<uint8_t>(reverse_[static_cast<uint8_t>(kRcnAlphabet[i])]);
  }
  uint32_t state = kRcnShuffleSeed;
  for (int n = 0; n < 64; ++n) {
    state = state * kRcnShuffleMultiplier + kRcnShuffleIncrement;
    int r = static_cast<int>((state >> 11) & 63);
    std::swap(alphabet_[n], alphabet_[r]);
    std::swap(mapped_[n], mapped_[r]);
  }
  for (int i = 0; i < 64; ++i) inverse_[mapped_[i]] = static_cast<uint8_t>(i);
}

int RcnScrambleTables::standardPosition(uint8_t c) const { return c <= 122 ? reverse_[c] : -1; }

void RcnScrambleTables::descramble(uint8_t* data, size_t n, size_t start) const {
  RunningKey key(start);
  for (size_t i = 0; i < n; ++i) {
    int p = standardPosition(data[i]);
    if (p < 0) continue;
    int q = (inverse_[p] - key.offset + 64) % 64;
    data[i] = static_cast<uint8_t>(standard_[q]);
    key.advance(standard_[q]);
  }
}

void RcnScrambleTables::scramble(uint8_t* data, size_t n, size_t start) const {
  RunningKey key(start);
  for (size_t i = 0; i < n; ++i) {
    int q = standardPosition(data[i]);
    if (q < 0) continue;
    char plain = standard_[q];
    data[i] = static_cast<uint8_t>(standard_[mapped_[(q + key.offset) % 64]]);
    key.advance(plain);
  }
}

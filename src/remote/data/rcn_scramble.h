// The character scramble of the region's data tables: a keyed substitution of
// the Base64 characters whose key moves with every character it passes, so
// each character's substitute depends on the text before it. Characters
// outside the Base64 set pass unchanged and do not move the key.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

class RcnScrambleTables {
 public:
  // Builds the tables from the format's constants (rcn_format.h).
  RcnScrambleTables();

  // Undoes the scramble in place; `start` is the running value's start, the
  // byte length of the whole table.
  void descramble(uint8_t* data, size_t n, size_t start) const;
  // Scrambles plain Base64 text in place, the direction of the pack tool.
  void scramble(uint8_t* data, size_t n, size_t start) const;

 private:
  // Position in the standard order ("0"-"9", "A"-"Z", "a"-"z", "+", "/"), or
  // -1 for a character outside it.
  int standardPosition(uint8_t c) const;

  std::array<char, 64> standard_{};
  std::array<int8_t, 123> reverse_{};
  std::array<char, 64> alphabet_{};
  std::array<uint8_t, 64> mapped_{};
  std::array<uint8_t, 64> inverse_{};
};

#include "win32/muldiv.h"

#include <cstdint>
#include <limits>

int MulDiv(int number, int numerator, int denominator) {
  if (denominator == 0) return -1;
  const int64_t product = static_cast<int64_t>(number) * numerator;
  // Round half away from zero: add half the divisor's magnitude in the
  // direction of the quotient's sign before truncating.
  const int64_t magnitude = denominator < 0 ? -static_cast<int64_t>(denominator) : denominator;
  const bool negative = (product < 0) != (denominator < 0);
  const int64_t absProduct = product < 0 ? -product : product;
  const int64_t quotient = (absProduct + magnitude / 2) / magnitude;
  const int64_t result = negative ? -quotient : quotient;
  if (result > std::numeric_limits<int>::max() || result < std::numeric_limits<int>::min()) return -1;
  return static_cast<int>(result);
}

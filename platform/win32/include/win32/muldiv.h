#pragma once

#include "win32/types.h"

// number * numerator / denominator with a 64-bit intermediate, rounded to the
// nearest integer (halves away from zero); -1 when denominator is 0 or the
// result does not fit in 32 bits.
int MulDiv(int number, int numerator, int denominator);

// Rectangles and sizes with their Windows layouts.
#pragma once

#include "win32/types.h"

struct RECT {
  LONG left;
  LONG top;
  LONG right;
  LONG bottom;
};
using LPRECT = RECT*;
using LPCRECT = const RECT*;
static_assert(sizeof(RECT) == 16);

struct SIZE {
  LONG cx;
  LONG cy;
};
static_assert(sizeof(SIZE) == 8);

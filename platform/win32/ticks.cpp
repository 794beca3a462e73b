#include "win32/ticks.h"

#include <algorithm>
#include <cstdlib>

namespace {

LONG ReadTickScale() {
  const char* text = std::getenv("TLX_TICK_SCALE");
  if (text == nullptr || *text == '\0') return 1;
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (*end != '\0' || value < 1 || value > 1000000) return 1;
  return static_cast<LONG>(value);
}

LONG TickScale() {
  static const LONG scale = ReadTickScale();
  return scale;
}

}  // namespace

DWORD TimeoutMilliseconds(LONG amount, TimeoutUnit unit) {
  if (amount < 0) return INFINITE;
  if (amount == 0) return 0;
  int64_t ms = unit == TimeoutUnit::kTicks ? int64_t{amount} * 1000 / 60 : int64_t{amount};
  ms /= TickScale();
  return static_cast<DWORD>(std::clamp<int64_t>(ms, 1, INFINITE - 1));
}

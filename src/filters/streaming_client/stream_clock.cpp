#include "stream_clock.h"

#include <algorithm>

namespace {
constexpr uint32_t kHalfRange = 0x80000000u;
constexpr REFERENCE_TIME kUnitsPerMs = 10000;
}  // namespace

REFERENCE_TIME StreamClock::Unwrap(uint32_t stampMs) {
  if (fHave && fLast > stampMs && fLast - stampMs > kHalfRange) {
    fBase += kWrapUnits;
    fWrapped = true;
  } else if (fHave && stampMs > fLast && stampMs - fLast > kHalfRange && fBase >= kWrapUnits) {
    return stampMs * kUnitsPerMs + fBase - kWrapUnits;
  }
  fHave = true;
  fLast = stampMs;
  return stampMs * kUnitsPerMs + fBase;
}

void StreamClock::AlignWrapped(StreamClock& a, StreamClock& b) {
  if (!a.fWrapped || !b.fWrapped) return;
  const REFERENCE_TIME base = std::max(a.fBase, b.fBase);
  a.fBase = base;
  b.fBase = base;
  a.fWrapped = false;
  b.fWrapped = false;
}

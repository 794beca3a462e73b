// One medium's stream clock: turns the base station's 32-bit millisecond
// stamps into 64-bit sample times (100-ns units) that keep rising across the
// stamp's wrap.
#pragma once

#include <cstdint>

#include "dshow/media_type.h"

class StreamClock {
 public:
  // Units of one wrap of the millisecond stamp.
  static constexpr REFERENCE_TIME kWrapUnits = (int64_t{1} << 32) * 10000;

  // The stamp's time: stamp × 10000 + the base. A stamp more than 2^31 ms
  // below the previous one is a wrap and raises the base by one wrap; a
  // smaller step back is a late or repeated stamp and leaves the base alone,
  // as does a stamp far above the previous one, which is a late stamp from
  // before the last wrap and is placed there.
  REFERENCE_TIME Unwrap(uint32_t stampMs);

  bool Wrapped() const { return fWrapped; }
  REFERENCE_TIME Base() const { return fBase; }

  // When both clocks have wrapped, both take the larger base, so audio and
  // video stay aligned whichever wrapped first.
  static void AlignWrapped(StreamClock& a, StreamClock& b);

 private:
  bool fHave = false;
  uint32_t fLast = 0;
  REFERENCE_TIME fBase = 0;
  bool fWrapped = false;
};

// Stream and reference times in 100-ns units.
#pragma once

#include "dshow/media_type.h"

inline constexpr LONGLONG MILLISECONDS = 1000;
inline constexpr LONGLONG UNITS = 10000000;  // per second
inline constexpr LONGLONG MAX_TIME = 0x7FFFFFFFFFFFFFFF;

inline constexpr REFERENCE_TIME MILLISECONDS_TO_100NS_UNITS(LONGLONG ms) { return ms * (UNITS / MILLISECONDS); }

class CRefTime {
 public:
  REFERENCE_TIME m_time = 0;

  CRefTime() = default;
  CRefTime(LONG milliseconds) : m_time(MILLISECONDS_TO_100NS_UNITS(milliseconds)) {}  // NOLINT
  CRefTime(REFERENCE_TIME time) : m_time(time) {}                                     // NOLINT
  operator REFERENCE_TIME() const { return m_time; }

  CRefTime& operator=(REFERENCE_TIME time) {
    m_time = time;
    return *this;
  }
  CRefTime& operator+=(REFERENCE_TIME time) {
    m_time += time;
    return *this;
  }
  CRefTime& operator-=(REFERENCE_TIME time) {
    m_time -= time;
    return *this;
  }
  // Whole milliseconds, rounded toward zero.
  LONG Millisecs() const { return static_cast<LONG>(m_time / (UNITS / MILLISECONDS)); }
  REFERENCE_TIME GetUnits() const { return m_time; }
};

// The player option word that tlxInit hands the library: its low byte is the
// player's region code.
#pragma once

#include <cstdint>

namespace tlx::link {

inline constexpr uint32_t kRegionUS = 0;
inline constexpr uint32_t kRegionJP = 1;
inline constexpr uint32_t kRegionTW = 2;
inline constexpr uint32_t kRegionKR = 3;
inline constexpr uint32_t kRegionEUFirst = 0x10;
inline constexpr uint32_t kRegionEULast = 0x15;

// The option word (0 until set). Safe from any thread.
uint32_t tlxOptionWord();
void tlxSetOptionWord(uint32_t option);
// Its low byte.
uint32_t tlxRegionCode();

}  // namespace tlx::link

// The constants of the scrambled data-table format. The table reader and the
// pack tool that makes the tables share them; changing one makes every table
// packed before unreadable. The Python twin of the tests reads them from
// here, so each stays a single line "name = value;".
#pragma once

#include <cstdint>

// The format's own order of the 64 Base64 characters.
inline constexpr char kRcnAlphabet[] = "S0E2HOgY7os1AlWtvCwBiFuTnK/dX5NZba3xrGJ4hMV+LjmUpcRDfq8QePkyI69z";
// The 32-bit generator that shuffles the tables.
inline constexpr uint32_t kRcnShuffleSeed = 0x2F6B1C35;
inline constexpr uint32_t kRcnShuffleMultiplier = 1664525;
inline constexpr uint32_t kRcnShuffleIncrement = 1013904223;
// The running value's two 16-bit mixing constants.
inline constexpr uint16_t kRcnMixAdd = 0x3A71;
inline constexpr uint16_t kRcnMixMultiply = 0x9E37;

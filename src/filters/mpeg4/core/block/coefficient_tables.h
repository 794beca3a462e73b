// Code tables of the block layer: the TCOEF run/level/last codes (intra and
// inter events share one set of code words), the reversible codes of
// data-partitioned packets, the DC size codes, and the intra MCBPC and CBPY
// codes. Codes are listed without their sign bit, most significant bit first.
// The decoders look codes up through tables built from these lists, and the
// escape limits are derived from them, so each code exists in one place.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace tlx::mpeg4 {

// One run/level/last event and its code.
struct CoefficientCode {
  uint16_t code;
  uint8_t length;
  uint8_t last;
  uint8_t run;
  uint8_t level;
};

// A code that carries one small value (a DC size, a pattern).
struct ValueCode {
  uint16_t code;
  uint8_t length;
  uint8_t value;
};

inline constexpr int kTcoefCount = 102;
inline constexpr int kRvlcCount = 169;

// Escape prefix of the TCOEF tables: 0000 011.
inline constexpr ValueCode kTcoefEscape = {0x3, 7, 0};

// Inter TCOEF events in last, run, level order.
inline constexpr std::array<CoefficientCode, kTcoefCount> kInterTcoef = {{
    {0x2, 2, 0, 0, 1},    {0xF, 4, 0, 0, 2},    {0x15, 6, 0, 0, 3},   {0x17, 7, 0, 0, 4},
    {0x1F, 8, 0, 0, 5},   {0x25, 9, 0, 0, 6},   {0x24, 9, 0, 0, 7},   {0x21, 10, 0, 0, 8},
    {0x20, 10, 0, 0, 9},  {0x7, 11, 0, 0, 10},  {0x6, 11, 0, 0, 11},  {0x20, 11, 0, 0, 12},
    {0x6, 3, 0, 1, 1},    {0x14, 6, 0, 1, 2},   {0x1E, 8, 0, 1, 3},   {0xF, 10, 0, 1, 4},
    {0x21, 11, 0, 1, 5},  {0x50, 12, 0, 1, 6},  {0xE, 4, 0, 2, 1},    {0x1D, 8, 0, 2, 2},
    {0xE, 10, 0, 2, 3},   {0x51, 12, 0, 2, 4},  {0xD, 5, 0, 3, 1},    {0x23, 9, 0, 3, 2},
    {0xD, 10, 0, 3, 3},   {0xC, 5, 0, 4, 1},    {0x22, 9, 0, 4, 2},   {0x52, 12, 0, 4, 3},
    {0xB, 5, 0, 5, 1},    {0xC, 10, 0, 5, 2},   {0x53, 12, 0, 5, 3},  {0x13, 6, 0, 6, 1},
    {0xB, 10, 0, 6, 2},   {0x54, 12, 0, 6, 3},  {0x12, 6, 0, 7, 1},   {0xA, 10, 0, 7, 2},
    {0x11, 6, 0, 8, 1},   {0x9, 10, 0, 8, 2},   {0x10, 6, 0, 9, 1},   {0x8, 10, 0, 9, 2},
    {0x16, 7, 0, 10, 1},  {0x55, 12, 0, 10, 2}, {0x15, 7, 0, 11, 1},  {0x14, 7, 0, 12, 1},
    {0x1C, 8, 0, 13, 1},  {0x1B, 8, 0, 14, 1},  {0x21, 9, 0, 15, 1},  {0x20, 9, 0, 16, 1},
    {0x1F, 9, 0, 17, 1},  {0x1E, 9, 0, 18, 1},  {0x1D, 9, 0, 19, 1},  {0x1C, 9, 0, 20, 1},
    {0x1B, 9, 0, 21, 1},  {0x1A, 9, 0, 22, 1},  {0x22, 11, 0, 23, 1}, {0x23, 11, 0, 24, 1},
    {0x56, 12, 0, 25, 1}, {0x57, 12, 0, 26, 1}, {0x7, 4, 1, 0, 1},    {0x19, 9, 1, 0, 2},
    {0x5, 11, 1, 0, 3},   {0xF, 6, 1, 1, 1},    {0x4, 11, 1, 1, 2},   {0xE, 6, 1, 2, 1},
    {0xD, 6, 1, 3, 1},    {0xC, 6, 1, 4, 1},    {0x13, 7, 1, 5, 1},   {0x12, 7, 1, 6, 1},
    {0x11, 7, 1, 7, 1},   {0x10, 7, 1, 8, 1},   {0x1A, 8, 1, 9, 1},   {0x19, 8, 1, 10, 1},
    {0x18, 8, 1, 11, 1},  {0x17, 8, 1, 12, 1},  {0x16, 8, 1, 13, 1},  {0x15, 8, 1, 14, 1},
    {0x14, 8, 1, 15, 1},  {0x13, 8, 1, 16, 1},  {0x18, 9, 1, 17, 1},  {0x17, 9, 1, 18, 1},
    {0x16, 9, 1, 19, 1},  {0x15, 9, 1, 20, 1},  {0x14, 9, 1, 21, 1},  {0x13, 9, 1, 22, 1},
    {0x12, 9, 1, 23, 1},  {0x11, 9, 1, 24, 1},  {0x7, 10, 1, 25, 1},  {0x6, 10, 1, 26, 1},
    {0x5, 10, 1, 27, 1},  {0x4, 10, 1, 28, 1},  {0x24, 11, 1, 29, 1}, {0x25, 11, 1, 30, 1},
    {0x26, 11, 1, 31, 1}, {0x27, 11, 1, 32, 1}, {0x58, 12, 1, 33, 1}, {0x59, 12, 1, 34, 1},
    {0x5A, 12, 1, 35, 1}, {0x5B, 12, 1, 36, 1}, {0x5C, 12, 1, 37, 1}, {0x5D, 12, 1, 38, 1},
    {0x5E, 12, 1, 39, 1}, {0x5F, 12, 1, 40, 1},
}};

// Intra TCOEF events in last, run, level order (same code words).
inline constexpr std::array<CoefficientCode, kTcoefCount> kIntraTcoef = {{
    {0x2, 2, 0, 0, 1},    {0x6, 3, 0, 0, 2},    {0xF, 4, 0, 0, 3},    {0xD, 5, 0, 0, 4},
    {0xC, 5, 0, 0, 5},    {0x15, 6, 0, 0, 6},   {0x13, 6, 0, 0, 7},   {0x12, 6, 0, 0, 8},
    {0x17, 7, 0, 0, 9},   {0x1F, 8, 0, 0, 10},  {0x1E, 8, 0, 0, 11},  {0x1D, 8, 0, 0, 12},
    {0x25, 9, 0, 0, 13},  {0x24, 9, 0, 0, 14},  {0x23, 9, 0, 0, 15},  {0x21, 9, 0, 0, 16},
    {0x21, 10, 0, 0, 17}, {0x20, 10, 0, 0, 18}, {0xF, 10, 0, 0, 19},  {0xE, 10, 0, 0, 20},
    {0x7, 11, 0, 0, 21},  {0x6, 11, 0, 0, 22},  {0x20, 11, 0, 0, 23}, {0x21, 11, 0, 0, 24},
    {0x50, 12, 0, 0, 25}, {0x51, 12, 0, 0, 26}, {0x52, 12, 0, 0, 27}, {0xE, 4, 0, 1, 1},
    {0x14, 6, 0, 1, 2},   {0x16, 7, 0, 1, 3},   {0x1C, 8, 0, 1, 4},   {0x20, 9, 0, 1, 5},
    {0x1F, 9, 0, 1, 6},   {0xD, 10, 0, 1, 7},   {0x22, 11, 0, 1, 8},  {0x53, 12, 0, 1, 9},
    {0x55, 12, 0, 1, 10}, {0xB, 5, 0, 2, 1},    {0x15, 7, 0, 2, 2},   {0x1E, 9, 0, 2, 3},
    {0xC, 10, 0, 2, 4},   {0x56, 12, 0, 2, 5},  {0x11, 6, 0, 3, 1},   {0x1B, 8, 0, 3, 2},
    {0x1D, 9, 0, 3, 3},   {0xB, 10, 0, 3, 4},   {0x10, 6, 0, 4, 1},   {0x22, 9, 0, 4, 2},
    {0xA, 10, 0, 4, 3},   {0xD, 6, 0, 5, 1},    {0x1C, 9, 0, 5, 2},   {0x8, 10, 0, 5, 3},
    {0x12, 7, 0, 6, 1},   {0x1B, 9, 0, 6, 2},   {0x54, 12, 0, 6, 3},  {0x14, 7, 0, 7, 1},
    {0x1A, 9, 0, 7, 2},   {0x57, 12, 0, 7, 3},  {0x19, 8, 0, 8, 1},   {0x9, 10, 0, 8, 2},
    {0x18, 8, 0, 9, 1},   {0x23, 11, 0, 9, 2},  {0x17, 8, 0, 10, 1},  {0x19, 9, 0, 11, 1},
    {0x18, 9, 0, 12, 1},  {0x7, 10, 0, 13, 1},  {0x58, 12, 0, 14, 1}, {0x7, 4, 1, 0, 1},
    {0xC, 6, 1, 0, 2},    {0x16, 8, 1, 0, 3},   {0x17, 9, 1, 0, 4},   {0x6, 10, 1, 0, 5},
    {0x5, 11, 1, 0, 6},   {0x4, 11, 1, 0, 7},   {0x59, 12, 1, 0, 8},  {0xF, 6, 1, 1, 1},
    {0x16, 9, 1, 1, 2},   {0x5, 10, 1, 1, 3},   {0xE, 6, 1, 2, 1},    {0x4, 10, 1, 2, 2},
    {0x11, 7, 1, 3, 1},   {0x24, 11, 1, 3, 2},  {0x10, 7, 1, 4, 1},   {0x25, 11, 1, 4, 2},
    {0x13, 7, 1, 5, 1},   {0x5A, 12, 1, 5, 2},  {0x15, 8, 1, 6, 1},   {0x5B, 12, 1, 6, 2},
    {0x14, 8, 1, 7, 1},   {0x13, 8, 1, 8, 1},   {0x1A, 8, 1, 9, 1},   {0x15, 9, 1, 10, 1},
    {0x14, 9, 1, 11, 1},  {0x13, 9, 1, 12, 1},  {0x12, 9, 1, 13, 1},  {0x11, 9, 1, 14, 1},
    {0x26, 11, 1, 15, 1}, {0x27, 11, 1, 16, 1}, {0x5C, 12, 1, 17, 1}, {0x5D, 12, 1, 18, 1},
    {0x5E, 12, 1, 19, 1}, {0x5F, 12, 1, 20, 1},
}};

// Reversible codes. The escape is 0000 followed by a 1; the half of the
// table whose events are last is the same for intra and inter blocks.
inline constexpr int kRvlcLastCount = 66;
inline constexpr std::array<CoefficientCode, kRvlcLastCount> kRvlcLastEvents = {{
    {0xB, 4, 1, 0, 1}, {0x78, 8, 1, 0, 2}, {0x3F5, 11, 1, 0, 3}, {0xFEC, 13, 1, 0, 4},
    {0x1FEC, 14, 1, 0, 5}, {0x12, 5, 1, 1, 1}, {0xED, 9, 1, 1, 2}, {0x7DC, 12, 1, 1, 3},
    {0x1FED, 14, 1, 1, 4}, {0x3BFD, 15, 1, 1, 5}, {0x13, 5, 1, 2, 1}, {0x3F8, 11, 1, 2, 2},
    {0x3DFC, 15, 1, 2, 3}, {0x18, 6, 1, 3, 1}, {0x7DD, 12, 1, 3, 2}, {0x19, 6, 1, 4, 1},
    {0x7EC, 12, 1, 4, 2}, {0x22, 6, 1, 5, 1}, {0xFED, 13, 1, 5, 2}, {0x23, 6, 1, 6, 1},
    {0xFF4, 13, 1, 6, 2}, {0x35, 7, 1, 7, 1}, {0xFF5, 13, 1, 7, 2}, {0x38, 7, 1, 8, 1},
    {0xFF8, 13, 1, 8, 2}, {0x39, 7, 1, 9, 1}, {0xFF9, 13, 1, 9, 2}, {0x42, 7, 1, 10, 1},
    {0x1FF4, 14, 1, 10, 2}, {0x43, 7, 1, 11, 1}, {0x1FF5, 14, 1, 11, 2}, {0x79, 8, 1, 12, 1},
    {0x1FF8, 14, 1, 12, 2}, {0x82, 8, 1, 13, 1}, {0x3DFD, 15, 1, 13, 2}, {0x83, 8, 1, 14, 1},
    {0xF4, 9, 1, 15, 1}, {0xF5, 9, 1, 16, 1}, {0xF8, 9, 1, 17, 1}, {0xF9, 9, 1, 18, 1},
    {0x102, 9, 1, 19, 1}, {0x103, 9, 1, 20, 1}, {0x1F5, 10, 1, 21, 1}, {0x1F8, 10, 1, 22, 1},
    {0x1F9, 10, 1, 23, 1}, {0x202, 10, 1, 24, 1}, {0x203, 10, 1, 25, 1}, {0x3F9, 11, 1, 26, 1},
    {0x402, 11, 1, 27, 1}, {0x403, 11, 1, 28, 1}, {0x7ED, 12, 1, 29, 1}, {0x7F4, 12, 1, 30, 1},
    {0x7F5, 12, 1, 31, 1}, {0x7F8, 12, 1, 32, 1}, {0x7F9, 12, 1, 33, 1}, {0x802, 12, 1, 34, 1},
    {0x803, 12, 1, 35, 1}, {0x1002, 13, 1, 36, 1}, {0x1003, 13, 1, 37, 1}, {0x1FF9, 14, 1, 38, 1},
    {0x2002, 14, 1, 39, 1}, {0x2003, 14, 1, 40, 1}, {0x3EFC, 15, 1, 41, 1}, {0x3EFD, 15, 1, 42, 1},
    {0x3F7C, 15, 1, 43, 1}, {0x3F7D, 15, 1, 44, 1},
}};

template <size_t N>
constexpr std::array<CoefficientCode, N + kRvlcLastCount> WithLastEvents(
    const std::array<CoefficientCode, N>& notLast) {
  std::array<CoefficientCode, N + kRvlcLastCount> all{};
  for (size_t i = 0; i < N; ++i) all[i] = notLast[i];
  for (int i = 0; i < kRvlcLastCount; ++i) all[N + i] = kRvlcLastEvents[i];
  return all;
}

inline constexpr auto kInterRvlc = WithLastEvents(std::array<CoefficientCode, kRvlcCount - kRvlcLastCount>{{
    {0x6, 3, 0, 0, 1},     {0x1, 4, 0, 0, 2},     {0x4, 5, 0, 0, 3},     {0x1C, 7, 0, 0, 4},
    {0x3C, 8, 0, 0, 5},    {0x3D, 8, 0, 0, 6},    {0x7C, 9, 0, 0, 7},    {0xFC, 10, 0, 0, 8},
    {0xFD, 10, 0, 0, 9},   {0x1FC, 11, 0, 0, 10}, {0x1FD, 11, 0, 0, 11}, {0x3FC, 12, 0, 0, 12},
    {0x7FC, 13, 0, 0, 13}, {0x7FD, 13, 0, 0, 14}, {0xBFC, 13, 0, 0, 15}, {0xBFD, 13, 0, 0, 16},
    {0xFFC, 14, 0, 0, 17}, {0xFFD, 14, 0, 0, 18}, {0x1FFC, 15, 0, 0, 19}, {0x7, 3, 0, 1, 1},
    {0xC, 6, 0, 1, 2},     {0x5C, 8, 0, 1, 3},    {0x7D, 9, 0, 1, 4},    {0x17C, 10, 0, 1, 5},
    {0x2FC, 11, 0, 1, 6},  {0x3FD, 12, 0, 1, 7},  {0xDFC, 13, 0, 1, 8},  {0x17FC, 14, 0, 1, 9},
    {0x17FD, 14, 0, 1, 10}, {0xA, 4, 0, 2, 1},    {0x1D, 7, 0, 2, 2},    {0xBC, 9, 0, 2, 3},
    {0x2FD, 11, 0, 2, 4},  {0x5FC, 12, 0, 2, 5},  {0x1BFC, 14, 0, 2, 6}, {0x1BFD, 14, 0, 2, 7},
    {0x5, 5, 0, 3, 1},     {0x5D, 8, 0, 3, 2},    {0x17D, 10, 0, 3, 3},  {0x5FD, 12, 0, 3, 4},
    {0xDFD, 13, 0, 3, 5},  {0x1DFC, 14, 0, 3, 6}, {0x1FFD, 15, 0, 3, 7}, {0x8, 5, 0, 4, 1},
    {0x6C, 8, 0, 4, 2},    {0x37C, 11, 0, 4, 3},  {0xEFC, 13, 0, 4, 4},  {0x2FFC, 15, 0, 4, 5},
    {0x9, 5, 0, 5, 1},     {0xBD, 9, 0, 5, 2},    {0x37D, 11, 0, 5, 3},  {0xEFD, 13, 0, 5, 4},
    {0xD, 6, 0, 6, 1},     {0x1BC, 10, 0, 6, 2},  {0x6FC, 12, 0, 6, 3},  {0x1DFD, 14, 0, 6, 4},
    {0x14, 6, 0, 7, 1},    {0x1BD, 10, 0, 7, 2},  {0x6FD, 12, 0, 7, 3},  {0x2FFD, 15, 0, 7, 4},
    {0x15, 6, 0, 8, 1},    {0x1DC, 10, 0, 8, 2},  {0xF7C, 13, 0, 8, 3},  {0x2C, 7, 0, 9, 1},
    {0x1DD, 10, 0, 9, 2},  {0x1EFC, 14, 0, 9, 3}, {0x2D, 7, 0, 10, 1},   {0x3BC, 11, 0, 10, 2},
    {0x34, 7, 0, 11, 1},   {0x77C, 12, 0, 11, 2}, {0x6D, 8, 0, 12, 1},   {0xF7D, 13, 0, 12, 2},
    {0x74, 8, 0, 13, 1},   {0x1EFD, 14, 0, 13, 2}, {0x75, 8, 0, 14, 1},  {0x1F7C, 14, 0, 14, 2},
    {0xDC, 9, 0, 15, 1},   {0x1F7D, 14, 0, 15, 2}, {0xDD, 9, 0, 16, 1},  {0x1FBC, 14, 0, 16, 2},
    {0xEC, 9, 0, 17, 1},   {0x37FC, 15, 0, 17, 2}, {0x1EC, 10, 0, 18, 1}, {0x1ED, 10, 0, 19, 1},
    {0x1F4, 10, 0, 20, 1}, {0x3BD, 11, 0, 21, 1}, {0x3DC, 11, 0, 22, 1}, {0x3DD, 11, 0, 23, 1},
    {0x3EC, 11, 0, 24, 1}, {0x3ED, 11, 0, 25, 1}, {0x3F4, 11, 0, 26, 1}, {0x77D, 12, 0, 27, 1},
    {0x7BC, 12, 0, 28, 1}, {0x7BD, 12, 0, 29, 1}, {0xFBC, 13, 0, 30, 1}, {0xFBD, 13, 0, 31, 1},
    {0xFDC, 13, 0, 32, 1}, {0xFDD, 13, 0, 33, 1}, {0x1FBD, 14, 0, 34, 1}, {0x1FDC, 14, 0, 35, 1},
    {0x1FDD, 14, 0, 36, 1}, {0x37FD, 15, 0, 37, 1}, {0x3BFC, 15, 0, 38, 1},
}});

inline constexpr auto kIntraRvlc = WithLastEvents(std::array<CoefficientCode, kRvlcCount - kRvlcLastCount>{{
    {0x6, 3, 0, 0, 1},     {0x7, 3, 0, 0, 2},     {0xA, 4, 0, 0, 3},     {0x9, 5, 0, 0, 4},
    {0x14, 6, 0, 0, 5},    {0x15, 6, 0, 0, 6},    {0x34, 7, 0, 0, 7},    {0x74, 8, 0, 0, 8},
    {0x75, 8, 0, 0, 9},    {0xDD, 9, 0, 0, 10},   {0xEC, 9, 0, 0, 11},   {0x1EC, 10, 0, 0, 12},
    {0x1ED, 10, 0, 0, 13}, {0x1F4, 10, 0, 0, 14}, {0x3EC, 11, 0, 0, 15}, {0x3ED, 11, 0, 0, 16},
    {0x3F4, 11, 0, 0, 17}, {0x77D, 12, 0, 0, 18}, {0x7BC, 12, 0, 0, 19}, {0xFBD, 13, 0, 0, 20},
    {0xFDC, 13, 0, 0, 21}, {0x7BD, 12, 0, 0, 22}, {0xFDD, 13, 0, 0, 23}, {0x1FBD, 14, 0, 0, 24},
    {0x1FDC, 14, 0, 0, 25}, {0x1FDD, 14, 0, 0, 26}, {0x1FFC, 15, 0, 0, 27}, {0x1, 4, 0, 1, 1},
    {0x8, 5, 0, 1, 2},     {0x2D, 7, 0, 1, 3},    {0x6C, 8, 0, 1, 4},    {0x6D, 8, 0, 1, 5},
    {0xDC, 9, 0, 1, 6},    {0x1DD, 10, 0, 1, 7},  {0x3DC, 11, 0, 1, 8},  {0x3DD, 11, 0, 1, 9},
    {0x77C, 12, 0, 1, 10}, {0xFBC, 13, 0, 1, 11}, {0x1F7D, 14, 0, 1, 12}, {0x1FBC, 14, 0, 1, 13},
    {0x4, 5, 0, 2, 1},     {0x2C, 7, 0, 2, 2},    {0xBC, 9, 0, 2, 3},    {0x1DC, 10, 0, 2, 4},
    {0x3BC, 11, 0, 2, 5},  {0x3BD, 11, 0, 2, 6},  {0xEFD, 13, 0, 2, 7},  {0xF7C, 13, 0, 2, 8},
    {0xF7D, 13, 0, 2, 9},  {0x1EFD, 14, 0, 2, 10}, {0x1F7C, 14, 0, 2, 11}, {0x5, 5, 0, 3, 1},
    {0x5C, 8, 0, 3, 2},    {0xBD, 9, 0, 3, 3},    {0x37D, 11, 0, 3, 4},  {0x6FC, 12, 0, 3, 5},
    {0xEFC, 13, 0, 3, 6},  {0x1DFD, 14, 0, 3, 7}, {0x1EFC, 14, 0, 3, 8}, {0x1FFD, 15, 0, 3, 9},
    {0xC, 6, 0, 4, 1},     {0x5D, 8, 0, 4, 2},    {0x1BD, 10, 0, 4, 3},  {0x3FD, 12, 0, 4, 4},
    {0x6FD, 12, 0, 4, 5},  {0x1BFD, 14, 0, 4, 6}, {0xD, 6, 0, 5, 1},     {0x7D, 9, 0, 5, 2},
    {0x2FC, 11, 0, 5, 3},  {0x5FC, 12, 0, 5, 4},  {0x1BFC, 14, 0, 5, 5}, {0x1DFC, 14, 0, 5, 6},
    {0x1C, 7, 0, 6, 1},    {0x17C, 10, 0, 6, 2},  {0x2FD, 11, 0, 6, 3},  {0x5FD, 12, 0, 6, 4},
    {0x2FFC, 15, 0, 6, 5}, {0x1D, 7, 0, 7, 1},    {0x17D, 10, 0, 7, 2},  {0x37C, 11, 0, 7, 3},
    {0xDFD, 13, 0, 7, 4},  {0x2FFD, 15, 0, 7, 5}, {0x3C, 8, 0, 8, 1},    {0x1BC, 10, 0, 8, 2},
    {0xBFD, 13, 0, 8, 3},  {0x17FD, 14, 0, 8, 4}, {0x3D, 8, 0, 9, 1},    {0x1FD, 11, 0, 9, 2},
    {0xDFC, 13, 0, 9, 3},  {0x37FC, 15, 0, 9, 4}, {0x7C, 9, 0, 10, 1},   {0x3FC, 12, 0, 10, 2},
    {0xFC, 10, 0, 11, 1},  {0xBFC, 13, 0, 11, 2}, {0xFD, 10, 0, 12, 1},  {0x37FD, 15, 0, 12, 2},
    {0x1FC, 11, 0, 13, 1}, {0x7FC, 13, 0, 14, 1}, {0x7FD, 13, 0, 15, 1}, {0xFFC, 14, 0, 16, 1},
    {0xFFD, 14, 0, 17, 1}, {0x17FC, 14, 0, 18, 1}, {0x3BFC, 15, 0, 19, 1},
}});

// DC size codes by size 0-12.
inline constexpr std::array<ValueCode, 13> kDcSizeLuma = {{
    {0x3, 3, 0}, {0x3, 2, 1}, {0x2, 2, 2}, {0x2, 3, 3}, {0x1, 3, 4}, {0x1, 4, 5}, {0x1, 5, 6},
    {0x1, 6, 7}, {0x1, 7, 8}, {0x1, 8, 9}, {0x1, 9, 10}, {0x1, 10, 11}, {0x1, 11, 12},
}};
inline constexpr std::array<ValueCode, 13> kDcSizeChroma = {{
    {0x3, 2, 0}, {0x2, 2, 1}, {0x1, 2, 2}, {0x1, 3, 3}, {0x1, 4, 4}, {0x1, 5, 5}, {0x1, 6, 6},
    {0x1, 7, 7}, {0x1, 8, 8}, {0x1, 9, 9}, {0x1, 10, 10}, {0x1, 11, 11}, {0x1, 12, 12},
}};

// Intra MCBPC: value = macroblock flags << 2 | chroma pattern. Flags 0x4
// intra, 0xC intra with a quantiser change.
inline constexpr std::array<ValueCode, 8> kIntraMcbpc = {{
    {0x1, 1, 0x10}, {0x1, 3, 0x11}, {0x2, 3, 0x12}, {0x3, 3, 0x13},
    {0x1, 4, 0x30}, {0x1, 6, 0x31}, {0x2, 6, 0x32}, {0x3, 6, 0x33},
}};
// MCBPC stuffing: 0000 0000 1.
inline constexpr ValueCode kMcbpcStuffing = {0x1, 9, 0};

// CBPY by the luma pattern of an intra macroblock (block 0 in bit 3).
inline constexpr std::array<ValueCode, 16> kCbpy = {{
    {0x3, 4, 0},  {0x5, 5, 1},  {0x4, 5, 2},  {0x9, 4, 3},  {0x3, 5, 4},  {0x7, 4, 5},
    {0x2, 6, 6},  {0xB, 4, 7},  {0x2, 5, 8},  {0x3, 6, 9},  {0x5, 4, 10}, {0xA, 4, 11},
    {0x4, 4, 12}, {0x8, 4, 13}, {0x6, 4, 14}, {0x3, 2, 15},
}};

// Escape limits: the largest level of (last, run) and the largest run of
// (last, level) in a table, 0 where there is none.
struct EscapeLimits {
  uint8_t maxLevel[2][64];
  uint8_t maxRun[2][64];
};

template <size_t N>
constexpr EscapeLimits DeriveEscapeLimits(const std::array<CoefficientCode, N>& table) {
  EscapeLimits limits{};
  for (const CoefficientCode& c : table) {
    if (c.level > limits.maxLevel[c.last][c.run]) limits.maxLevel[c.last][c.run] = c.level;
    if (c.run > limits.maxRun[c.last][c.level]) limits.maxRun[c.last][c.level] = c.run;
  }
  return limits;
}

inline constexpr EscapeLimits kIntraLimits = DeriveEscapeLimits(kIntraTcoef);
inline constexpr EscapeLimits kInterLimits = DeriveEscapeLimits(kInterTcoef);

// Lookup of a code list by the next `Bits` stream bits: the list index of the
// code those bits start with, or kNoCode.
inline constexpr uint8_t kNoCode = 0xFF;

template <int Bits>
struct CodeLookup {
  std::array<uint8_t, (1u << Bits)> index;
};

template <int Bits, typename Code, size_t N>
constexpr CodeLookup<Bits> BuildCodeLookup(const std::array<Code, N>& codes) {
  static_assert(N < kNoCode);
  CodeLookup<Bits> lookup{};
  lookup.index.fill(kNoCode);
  for (size_t i = 0; i < N; ++i) {
    const int spare = Bits - codes[i].length;
    const uint32_t first = static_cast<uint32_t>(codes[i].code) << spare;
    for (uint32_t k = 0; k < (1u << spare); ++k) lookup.index[first + k] = static_cast<uint8_t>(i);
  }
  return lookup;
}

}  // namespace tlx::mpeg4

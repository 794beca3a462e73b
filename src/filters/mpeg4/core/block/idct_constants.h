// The constants of the inverse DCT, shared by its plain and SSE2 forms.
#pragma once

#include <cstdint>

namespace tlx::mpeg4 {

// Row constants by row class: w[k-1] = round(32768 * cos(a*pi/16) * cos(k*pi/16)),
// class a = 4 for rows 0 and 4, 1 for rows 1 and 7, 2 for rows 2 and 6, 3 for
// rows 3 and 5.
inline constexpr int16_t kRowClass4[7] = {22725, 21407, 19266, 16384, 12873, 8867, 4520};
inline constexpr int16_t kRowClass1[7] = {31521, 29692, 26722, 22725, 17855, 12299, 6270};
inline constexpr int16_t kRowClass2[7] = {29692, 27969, 25172, 21407, 16819, 11585, 5906};
inline constexpr int16_t kRowClass3[7] = {26722, 25172, 22654, 19266, 15137, 10426, 5315};
inline constexpr const int16_t* kRowConstants[8] = {kRowClass4, kRowClass1, kRowClass2, kRowClass3,
                                                    kRowClass4, kRowClass3, kRowClass2, kRowClass1};

// Column multipliers at scale 2^16; T3 and T4 hold the factor minus one.
inline constexpr int32_t kT1 = 13036;   // tan(pi/16)
inline constexpr int32_t kT2 = 27146;   // tan(pi/8)
inline constexpr int32_t kT3 = -21746;  // tan(3pi/16) - 1
inline constexpr int32_t kT4 = -19195;  // cos(pi/4) - 1
inline constexpr uint32_t kColumnBias = 1u << 20;
inline constexpr int kColumnShift = 21;

// Shape bits of each row and the masks the dispatch tests.
inline constexpr uint32_t kRowMask[8] = {0x00000007, 0x00000038, 0x000001C0, 0x00070000,
                                         0x00380000, 0x01C00000, 0x0E000000, 0xF0000000};
inline constexpr uint32_t kRowsOneToSeven = 0xFFFF01F8;
inline constexpr uint32_t kNotFirstColumnOfRowsZeroToSix = 0xFDB601B6;

}  // namespace tlx::mpeg4

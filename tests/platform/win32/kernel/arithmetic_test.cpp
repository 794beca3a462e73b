#include <gtest/gtest.h>

#include <climits>

#include "win32/cpu_features.h"
#include "win32/muldiv.h"
#include "win32/timing.h"

namespace {

TEST(MulDiv, RoundsHalvesAwayFromZeroAndFlagsOverflow) {
  struct Case {
    int number, numerator, denominator, expected;
  };
  const Case cases[] = {
      {10, 3, 4, 8},      // 7.5 -> 8
      {-10, 3, 4, -8},    // -7.5 -> -8
      {10, -3, 4, -8},
      {10, 3, -4, -8},
      {-10, -3, -4, -8},
      {-10, -3, 4, 8},
      {5, 1, 3, 2},       // 1.67
      {4, 1, 3, 1},       // 1.33
      {1, 1, 2, 1},       // 0.5 -> 1
      {-1, 1, 2, -1},
      {0, 5, 7, 0},
      {INT_MAX, INT_MAX, INT_MAX, INT_MAX},  // needs the 64-bit product
      {INT_MIN, 1, 1, INT_MIN},
      {1, 1, 0, -1},      // zero divisor
      {INT_MAX, 2, 1, -1},  // overflow
      {INT_MIN, -1, 1, -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MulDiv(c.number, c.numerator, c.denominator), c.expected)
        << c.number << " * " << c.numerator << " / " << c.denominator;
  }
}

TEST(CpuFeatureMask, ParsesDecimalAndHexOnly) {
  struct Case {
    const char* text;
    std::optional<uint32_t> expected;
  };
  const Case cases[] = {
      {"0", 0u},          {"32", 0x20u},         {"0x2220", 0x2220u}, {"0X20", 0x20u},
      {"0xffffffff", 0xFFFFFFFFu}, {"", std::nullopt}, {"0x", std::nullopt},  {"12a", std::nullopt},
      {"-1", std::nullopt}, {" 5", std::nullopt},  {"sse2", std::nullopt}, {"0x100000000", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(tlx::win32::ParseCpuFeatureMask(c.text), c.expected) << c.text;
  EXPECT_EQ(tlx::win32::ParseCpuFeatureMask(nullptr), std::nullopt);
}

TEST(CpuidRegisters, ReportThisProcessor) {
  const tlx::win32::CpuidRegisters r = tlx::win32::ReadCpuidRegisters();
#if defined(__x86_64__)
  ASSERT_TRUE(r.hasCpuid);
  ASSERT_TRUE(r.hasLeaf1);
  EXPECT_NE(r.leaf1.edx & (1u << 26), 0u) << "every x86-64 processor has SSE2";
  EXPECT_GE(r.leaf0.eax, 1u);
#else
  EXPECT_FALSE(r.hasCpuid);
#endif
}

TEST(Time, TickCountAdvancesAndSystemTimeIsAfter2020) {
  const ULONGLONG before = GetTickCount64();
  Sleep(20);
  const ULONGLONG after = GetTickCount64();
  EXPECT_GE(after - before, 20u);
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  const ULONGLONG t = (static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  EXPECT_GT(t, 132223104000000000ULL);  // 2020-01-01
}

}  // namespace

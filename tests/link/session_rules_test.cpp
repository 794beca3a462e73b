// The pure rules of the stream-session and TV managers: rate values and
// class changes, channel bands, the picture word, the bilingual table, the
// bit-rate adaptation and the auto-preset result table.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>

#include "link/control/ravix_mgr.h"
#include "link/control/tv_mgr.h"
#include "link/network/hnet_mgr.h"

namespace tlx::link {
namespace {

TEST(SessionRules, RateValues) {
  struct Case {
    int setting;
    const char* bitrates;
    int baseType;
    int rate;
  };
  const Case cases[] = {
      {2107, "", 2, 2100},         {2107, "a100b200", 2, 2100}, {2, "a100b200", 2, 200},
      {1, "a100b200", 3, 100},     {3, "a100b200", 2, 300},     {2, "7,0,9", 2, 200},
      {0, "a100b200", 2, 0},       {10, "", 3, 0},              {6, "", 2, 1500},
      {6, "", 3, 3000},            {5, "", 3, 850},             {8, "400", 2, 300},
      {9, "", 3, 300},             {4, "1:2:3:0", 2, 500},      {4, "1:2:3:4444", 2, 4444},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.rate, RavixMgr_RateValue(c.setting, c.bitrates, c.baseType))
        << c.setting << " \"" << c.bitrates << "\" type " << c.baseType;
  }
}

TEST(SessionRules, ClassChanges) {
  struct Case {
    int from, to, baseType, change;
  };
  const Case cases[] = {
      {1, 1, 7, 0}, {1, 2, 2, 1}, {2, 1, 2, 1}, {11, 5001, 2, 0}, {2, 6, 2, 0}, {2, 6, 3, 1},
      {6, 7, 2, 0}, {6, 7, 3, 1}, {7, 6, 3, 1}, {7, 8, 3, 0},     {5, 8, 3, 0}, {0, 1, 0, 0},
      {8, 6, 9, 0}, {3, 6, 9, 1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.change, RavixMgr_ClassChange(c.from, c.to, c.baseType)) << c.from << " -> " << c.to << " type " << c.baseType;
  }
}

TEST(TvRules, ChannelsByBand) {
  struct Case {
    int band;
    std::initializer_list<int> good, bad;
  };
  const Case cases[] = {
      {0, {2, 69}, {1, 70}},   {4, {2, 69}, {1, 70}},   {6, {2, 69}, {1, 70}},
      {1, {1, 125}, {0, 126}}, {5, {1, 125}, {0, 126}}, {7, {1, 125}, {0, 126}},
      {2, {1, 62, 113, 163}, {0, 63, 112, 164}},        {3, {}, {1, 2, 62, 69}},
      {8, {}, {2}},            {-1, {}, {2}},
  };
  for (const Case& c : cases) {
    for (int channel : c.good) EXPECT_TRUE(TvMgr_ValidChannel(c.band, channel)) << c.band << "/" << channel;
    for (int channel : c.bad) EXPECT_FALSE(TvMgr_ValidChannel(c.band, channel)) << c.band << "/" << channel;
  }
}

TEST(TvRules, PictureWords) {
  struct Case {
    int values[5];
    uint32_t word;
  };
  const Case cases[] = {
      // Fields: second << 26, first << 20, third << 14, fourth << 8, table entry << 2.
      {{0, 0, 0, 0, 0}, 16u << 26 | 16u << 20 | 16u << 14 | 16u << 8 | 0u << 2},
      {{1, 2, 3, 4, 14}, 18u << 26 | 17u << 20 | 19u << 14 | 20u << 8 | 58u << 2},
      {{-1, -1, -1, -1, -1}, 0xFFFFFFFCu},
      {{-16, 47, -1, 5, 20}, 63u << 26 | 0u << 20 | 63u << 14 | 21u << 8 | 58u << 2},
      {{15, -1, 0, -1, -5}, 63u << 26 | 31u << 20 | 16u << 14 | 63u << 8 | 0u << 2},
      {{0, 0, 0, 0, 7}, 16u << 26 | 16u << 20 | 16u << 14 | 16u << 8 | 29u << 2},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.word, static_cast<uint32_t>(TvMgr_PictureWord(c.values)))
        << c.values[0] << " " << c.values[1] << " " << c.values[2] << " " << c.values[3] << " " << c.values[4];
  }
}

TEST(TvRules, BilingualTableAndKinds) {
  const int table[9][3] = {{0, 1, 2}, {0, 0, 0}, {1, 1, 1}, {1, 0, 0}, {2, 2, 2},
                           {2, 2, 0}, {1, 2, 1}, {1, 2, 0}, {-1, -1, -1}};
  for (int kind = 0; kind < 9; ++kind) {
    for (int mode = 0; mode < 3; ++mode) EXPECT_EQ(table[kind][mode], TvMgr_NextBilingual(kind, mode)) << kind << mode;
  }
  EXPECT_EQ(-1, TvMgr_NextBilingual(9, 0));
  EXPECT_EQ(-1, TvMgr_NextBilingual(0, 3));
  for (int region : {0, 2, 0x10, 0x15}) EXPECT_EQ(3, TvMgr_BilingualKind(0, region)) << region;
  for (int region : {1, 3}) EXPECT_EQ(7, TvMgr_BilingualKind(0, region)) << region;
  EXPECT_EQ(5, TvMgr_BilingualKind(5, 1));
  EXPECT_EQ(3, TvMgr_BilingualKind(0x85, 0)) << "bit 7 set";
  EXPECT_EQ(7, TvMgr_BilingualKind(0x85, 3));
}

TEST(TvRules, BitRateAdaptation) {
  for (const auto& [level, rate] : {std::pair{0, 140}, {1, 120}, {5, 120}, {2, 80}, {3, 50}, {6, 50}, {4, 20}, {7, 20},
                                    {8, 20}}) {
    EXPECT_EQ(rate, TvMgr_LevelRate(true, 99, level)) << level;
  }
  EXPECT_EQ(99, TvMgr_LevelRate(false, 99, 0));
  // The minimum: 20 off WLAN or below the signal threshold, else 60.
  EXPECT_EQ(20, TvMgr_MinimumRate(0, kConnRavix));
  EXPECT_EQ(20, TvMgr_MinimumRate(0, kConnEther));
  EXPECT_EQ(60, TvMgr_MinimumRate(0, kConnWlan));
  EXPECT_EQ(60, TvMgr_MinimumRate(-60, kConnWlan));
  EXPECT_EQ(20, TvMgr_MinimumRate(-61, kConnWlan));
  EXPECT_EQ(20, TvMgr_MinimumRate(0x1C3, kConnWlan)) << "low byte 0xC3 is -61";
  // The optimal rate after errors, never below the minimum of the rate.
  for (const auto& [rate, type, optimal] : {std::tuple{140, kConnRavix, 70}, {100, kConnRavix, 50},
                                            {99, kConnRavix, 50}, {51, kConnRavix, 50}, {50, kConnRavix, 20},
                                            {20, kConnRavix, 20}, {100, kConnWlan, 60}, {50, kConnWlan, 60},
                                            {140, kConnWlan, 70}}) {
    EXPECT_EQ(optimal, TvMgr_OptimalRate(rate, type)) << rate << " type " << type;
  }
  // After the network was down (ms, unscaled in this program).
  for (const auto& [downMs, code] : {std::pair{0L, 90}, {1800L, 90}, {1801L, 110}, {3600L, 110}, {3601L, 140},
                                     {-1L, 140}}) {
    EXPECT_EQ(code, TvMgr_RateAfterDown(90, 140, 20, downMs)) << downMs;
  }
  EXPECT_EQ(60, TvMgr_RateAfterDown(90, 80, 60, 2000)) << "not below the minimum";
}

TEST(TvRules, AutoPresetTable) {
  const int32_t words[5] = {0x00000001, static_cast<int32_t>(0x80000000u), 0x00000102, 0, static_cast<int32_t>(0x80000001u)};
  uint32_t sum = 0;
  for (int32_t w : words) sum += static_cast<uint32_t>(w);
  uint8_t table[kPresetTableSize];
  std::memset(table, 0xEE, sizeof table);
  ASSERT_TRUE(TvMgr_PresetTable(100, static_cast<int32_t>(sum), words, table));
  std::string ones;
  for (int i = 0; i < kPresetTableSize; ++i) {
    ASSERT_LE(table[i], 1) << i;
    if (table[i]) ones += std::to_string(i) + " ";
  }
  EXPECT_EQ("0 63 65 72 128 159 ", ones);
  EXPECT_FALSE(TvMgr_PresetTable(100, static_cast<int32_t>(sum + 1), words, table));
  EXPECT_FALSE(TvMgr_PresetTable(105, static_cast<int32_t>(sum), words, table));
  for (const auto& [last, next] : {std::pair{0, 1}, {1, 2}, {9999, 10000}, {10000, 1}}) {
    EXPECT_EQ(next, TvMgr_NextPresetId(last)) << last;
  }
  for (const auto& [band, entries] : {std::pair{0, 69}, {4, 69}, {6, 69}, {1, 125}, {5, 125}, {7, 125}, {2, 163},
                                      {3, 0}, {8, 0}}) {
    EXPECT_EQ(entries, TvMgr_PresetEntries(band)) << band;
  }
}

}  // namespace
}  // namespace tlx::link

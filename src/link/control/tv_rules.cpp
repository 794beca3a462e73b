// The TV manager's rules: channel ranges, auto-preset identifiers and
// tables, the picture word, bilingual modes and the bit-rate steps.
#include <algorithm>
#include <cstring>

#include "link/control/tv_mgr_state.h"
#include "link/network/hnet_mgr.h"
#include "win32/ticks.h"

namespace tlx::link {

using tv::kRegionKr;

namespace {

constexpr int kBitrateLowest = 20;
constexpr int kBitrateConfiguredMin = 60;
constexpr int kSignalThreshold = -60;

constexpr int kPictureTable[15] = {0, 8, 12, 19, 26, 27, 28, 29, 30, 32, 38, 43, 48, 53, 58};
constexpr int kBilingualTable[9][3] = {{0, 1, 2}, {0, 0, 0}, {1, 1, 1}, {1, 0, 0}, {2, 2, 2},
                                       {2, 2, 0}, {1, 2, 1}, {1, 2, 0}, {-1, -1, -1}};

int PictureField(int value) { return value == -1 ? 63 : (value + 16) & 63; }

}  // namespace

bool TvMgr_ValidChannel(int band, int channel) {
  switch (band) {
    case 0:
    case 4:
    case 6:
      return channel >= 2 && channel <= 69;
    case 1:
    case 5:
    case 7:
      return channel >= 1 && channel <= 125;
    case 2:
      return (channel >= 1 && channel <= 62) || (channel >= 113 && channel <= 163);
    default:
      return false;
  }
}

int TvMgr_NextPresetId(int last) { return last >= 1 && last < 10000 ? last + 1 : 1; }

int TvMgr_PresetEntries(int band) {
  switch (band) {
    case 0:
    case 4:
    case 6:
      return 69;
    case 1:
    case 5:
    case 7:
      return 125;
    case 2:
      return 163;
    default:
      return 0;
  }
}

int32_t TvMgr_PictureWord(const int values[5]) {
  const int fifth = values[4] == -1 ? 63 : kPictureTable[std::clamp(values[4], 0, 14)];
  const uint32_t word = static_cast<uint32_t>(PictureField(values[1])) << 26 |
                        static_cast<uint32_t>(PictureField(values[0])) << 20 |
                        static_cast<uint32_t>(PictureField(values[2])) << 14 |
                        static_cast<uint32_t>(PictureField(values[3])) << 8 | static_cast<uint32_t>(fifth) << 2;
  return static_cast<int32_t>(word);
}

int TvMgr_NextBilingual(int kind, int mode) {
  if (kind < 0 || kind > 8 || mode < 0 || mode > 2) return -1;
  return kBilingualTable[kind][mode];
}

int TvMgr_BilingualKind(int parameterKind, int regionCode) {
  if (parameterKind > 0 && parameterKind <= 8) return parameterKind;
  return regionCode == 1 || regionCode == kRegionKr ? 7 : 3;
}

int TvMgr_LevelRate(bool adapt, int current, int level) {
  if (!adapt) return current;
  int rate;
  switch (level) {
    case 0:
      rate = 140;
      break;
    case 1:
    case 5:
      rate = 120;
      break;
    case 2:
      rate = 80;
      break;
    case 3:
    case 6:
      rate = 50;
      break;
    default:
      rate = kBitrateLowest;
      break;
  }
  return std::max(rate, kBitrateLowest);
}

int TvMgr_MinimumRate(int reference, int connType) {
  if (connType != kConnWlan || static_cast<int8_t>(reference & 0xFF) < kSignalThreshold) return kBitrateLowest;
  return kBitrateConfiguredMin;
}

int TvMgr_OptimalRate(int rate, int connType) {
  const int optimal = rate >= 100 ? rate / 20 * 10 : rate <= 50 ? kBitrateLowest : 50;
  return std::max(optimal, TvMgr_MinimumRate(rate, connType));
}

int TvMgr_RateAfterDown(int current, int levelRate, int minimum, long downMs) {
  if (downMs < 0) return levelRate;
  if (downMs <= static_cast<long>(TimeoutMilliseconds(1800, TimeoutUnit::kMilliseconds))) return current;
  if (downMs <= static_cast<long>(TimeoutMilliseconds(3600, TimeoutUnit::kMilliseconds))) {
    return std::max(levelRate - 30, minimum);
  }
  return levelRate;
}

bool TvMgr_PresetTable(int32_t status, int32_t checksum, const int32_t words[5], uint8_t table[kPresetTableSize]) {
  uint32_t sum = 0;
  for (int i = 0; i < 5; ++i) sum += static_cast<uint32_t>(words[i]);
  if (status != kTvDone || sum != static_cast<uint32_t>(checksum)) return false;
  std::memset(table, 0, kPresetTableSize);
  for (int i = 0; i < 160; ++i) table[i] = (static_cast<uint32_t>(words[i / 32]) >> (i % 32)) & 1;
  return true;
}

}  // namespace tlx::link

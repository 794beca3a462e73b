// The keep-alive channel's pure rules: signal levels, accepted address
// pairs, the base's link quality and the player's flags byte.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include "link/network/kach.h"

namespace tlx::link {
namespace {

TEST(KachRulesTest, TheSignalLevelFollowsTheBandsThresholds) {
  const struct {
    int band, quality, level;
  } cases[] = {
      {0, 5, 4},   {0, 0, 4},   {0, -1, 2},  {0, -20, 2}, {0, -21, 1}, {0, -70, 1}, {0, -71, 3},
      {0, -74, 3}, {0, -75, 4}, {1, 0, 4},   {1, -1, 2},  {1, -70, 2}, {1, -71, 3}, {1, -74, 3},
      {1, -75, 4}, {2, 0, 4},   {2, -1, 2},  {2, -20, 2}, {2, -21, 1}, {2, -63, 1}, {2, -64, 2},
      {2, -68, 2}, {2, -69, 3}, {2, -74, 3}, {2, -75, 4}, {7, -64, 2}, {-1, -21, 1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.level, KACH_WlanLevel(c.band, c.quality)) << "band " << c.band << " quality " << c.quality;
  }
}

TEST(KachRulesTest, OnlyTheTwoDirectLinkPairsAreAccepted) {
  const struct {
    const char* base;
    const char* player;
    bool accepted;
  } cases[] = {
      {"10.231.71.1", "10.231.71.2", true},   {"172.29.71.1", "172.29.71.2", true},
      {"10.231.71.2", "10.231.71.1", false},  {"10.231.71.1", "172.29.71.2", false},
      {"127.0.0.2", "127.0.0.1", false},      {"10.231.71.1", "10.231.71.3", false},
      {"0.0.0.0", "0.0.0.0", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.accepted, KACH_AcceptWlanPair(inet_addr(c.base), inet_addr(c.player))) << c.base << " " << c.player;
  }
}

TEST(KachRulesTest, FlagsCarryTheLinkStateAndQuality) {
  EXPECT_EQ(7, KACH_BaseQuality(0x00));
  EXPECT_EQ(7, KACH_BaseQuality(0x08));
  EXPECT_EQ(6, KACH_BaseQuality(0x10));
  EXPECT_EQ(5, KACH_BaseQuality(0x18));
  EXPECT_EQ(5, KACH_BaseQuality(0xFF));

  const struct {
    bool atUp, flag;
    int netState, level;
    uint8_t flags;
  } cases[] = {
      {true, true, 8, 8, 0x1F},  {true, true, 5, 7, 0xFF},  {false, true, 5, 1, 0x3E},
      {true, false, 6, 3, 0x75}, {true, true, 7, 0, 0x0F},  {false, false, 7, 5, 0xAC},
      {true, true, 6, 6, 0xD7},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.flags, KACH_PlayerFlags(c.atUp, c.flag, c.netState, c.level))
        << c.atUp << c.flag << " state " << c.netState << " level " << c.level;
  }
}

}  // namespace
}  // namespace tlx::link

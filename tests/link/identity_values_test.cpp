// The player's identity values, kept in the registry store of a test folder.
#include "link/config/identity_values.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>

#include "link/config/tlx_cfg.h"
#include "link_env_support.h"
#include "support/child_process.h"

namespace tlx::link {
namespace {

using test::DeleteTree;
using test::ReadText;
using test::WriteText;
using tlx::test::ChildProcess;
using tlx::test::TempFolder;

const std::string kIdentity = std::string(test::kTlxKey) + "\\Identity";
const std::string kKey128 = [] {
  std::string key;
  for (int i = 0; i < 64; ++i) key += "0123456789ABCDEF"[i % 16], key += "FEDCBA9876543210"[i % 16];
  return key;
}();

std::string Hex(const void* data, size_t size) {
  std::string text;
  char digits[3];
  for (size_t i = 0; i < size; ++i) {
    std::snprintf(digits, sizeof digits, "%02X", static_cast<const uint8_t*>(data)[i]);
    text += digits;
  }
  return text;
}

class IdentityTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { test::UseTestEnvironment(); }
  void SetUp() override {
    DeleteTree(test::kTlxKey);
    ASSERT_EQ(0, tlxInitConfig(0x300));
  }
  void TearDown() override { tlxCleanupConfig(); }

  static void Preset(const char* mac, const char* wlan, const char* ident, const std::string& key) {
    WriteText(kIdentity, "EtherMac", mac);
    WriteText(kIdentity, "WlanMac", wlan);
    WriteText(kIdentity, "PlayerIdent", ident);
    WriteText(kIdentity, "SharedKey", key);
  }
};

TEST_F(IdentityTest, TheFirstStartCreatesValuesThatLast) {
  TLX_SYSINFO_RECORD first;
  ASSERT_TRUE(tlxIdentitySysInfo(&first));
  EXPECT_TRUE(std::regex_match(ReadText(kIdentity, "EtherMac"), std::regex("[0-9A-F]{12}")));
  EXPECT_TRUE(std::regex_match(ReadText(kIdentity, "WlanMac"), std::regex("[0-9A-F]{12}")));
  EXPECT_TRUE(std::regex_match(ReadText(kIdentity, "PlayerIdent"), std::regex("[A-Z0-9]{8}")));
  EXPECT_TRUE(std::regex_match(ReadText(kIdentity, "SharedKey"), std::regex("[0-9A-F]{128}")));
  EXPECT_EQ(ReadText(kIdentity, "SharedKey"), Hex(first.sharedKey, sizeof first.sharedKey));
  EXPECT_EQ(0, first.wlanMac[0] & 1) << "a unicast address";

  TLX_SYSINFO_RECORD again;
  ASSERT_TRUE(tlxIdentitySysInfo(&again));
  EXPECT_EQ(0, std::memcmp(&first, &again, sizeof first));
  // The region does not change them; another process reads the same.
  ChildProcess child("link_cfg_helper", {"0x300", "identity"});
  EXPECT_EQ(Hex(&first, sizeof first), child.ReadLine());
  EXPECT_EQ(0, child.Wait());
}

TEST_F(IdentityTest, PresetValuesStayAndMalformedOnesAreReplaced) {
  const struct {
    const char* name;
    std::string value;
    bool kept;
  } cases[] = {
      {"EtherMac", "0A1B2C3D4E5F", true},   {"EtherMac", "0A1B2C3D4E", false},
      {"EtherMac", "0a1b2c3d4e5f", false},  {"WlanMac", "0A1B2C3D4E5G", false},
      {"PlayerIdent", "AB12CD34", true},    {"PlayerIdent", "AB12CD3", false},
      {"PlayerIdent", "ab12cd34", false},   {"SharedKey", kKey128, true},
      {"SharedKey", kKey128.substr(0, 127) + "G", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name + (" " + c.value));
    DeleteTree(kIdentity);
    WriteText(kIdentity, c.name, c.value);
    TLX_SYSINFO_RECORD record;
    ASSERT_TRUE(tlxIdentitySysInfo(&record));
    const std::string stored = ReadText(kIdentity, c.name);
    EXPECT_EQ(c.kept, stored == c.value);
    const std::string pattern = std::strcmp(c.name, "PlayerIdent") == 0 ? "[A-Z0-9]{8}"
                                : std::strcmp(c.name, "SharedKey") == 0 ? "[0-9A-F]{128}"
                                                                       : "[0-9A-F]{12}";
    EXPECT_TRUE(std::regex_match(stored, std::regex(pattern))) << stored;
  }
}

TEST_F(IdentityTest, ValuesByIdAndTheRecord) {
  Preset("0A1B2C3D4E5F", "02AABBCCDDEE", "AB12CD34", kKey128);
  uint8_t buffer[80];
  EXPECT_EQ(6, tlxIdentityValueRead(SYSINFO_ETHER_MAC_ADDR_P, buffer, sizeof buffer));
  EXPECT_EQ("0A1B2C3D4E5F", Hex(buffer, 6));
  EXPECT_EQ(6, tlxIdentityValueRead(SYSINFO_WLAN_MAC_ADDR_P, buffer, sizeof buffer));
  EXPECT_EQ("02AABBCCDDEE", Hex(buffer, 6));
  EXPECT_EQ(8, tlxIdentityValueRead(SYSINFO_PLAYER_IDENT, buffer, sizeof buffer));
  EXPECT_EQ("AB12CD34", std::string(reinterpret_cast<char*>(buffer), 8));
  EXPECT_EQ(64, tlxIdentityValueRead(SYSINFO_SHARED_KEY, buffer, sizeof buffer));
  EXPECT_EQ(kKey128, Hex(buffer, 64));
  for (int id : {kIdentityModelName, SYSINFO_INFO_MODEL_P}) {
    EXPECT_EQ(9, tlxIdentityValueRead(id, buffer, sizeof buffer));
    EXPECT_EQ("QZA-K20US", std::string(reinterpret_cast<char*>(buffer), 9));
  }
  for (int id : {4099, 5920, 6048, 6224, 1}) EXPECT_EQ(-1, tlxIdentityValueRead(id, buffer, sizeof buffer)) << id;
  EXPECT_EQ(-1, tlxIdentityValueRead(SYSINFO_SHARED_KEY, buffer, 63));

  // The record the authentication library gets at start-up, byte for byte.
  tlxCleanupConfig();
  ASSERT_EQ(0, tlxInitConfig(0x301));
  const auto record = test::StubEntry<void (*)(TLX_SYSINFO_RECORD*)>("libTlxAuthStub.so", "StubAuthRecord");
  ASSERT_NE(nullptr, record);
  TLX_SYSINFO_RECORD registered;
  record(&registered);
  const std::string expected = Hex("QZA-K20JP\0\0\0\0\0\0\0", 16) + "0A1B2C3D4E5F" + "02AABBCCDDEE" +
                               Hex("AB12CD34", 9) + kKey128;
  ASSERT_EQ(202u, expected.size());
  EXPECT_EQ(expected, Hex(&registered, sizeof registered));
}

TEST(IdentityMac, TheFirstNonZeroAddressOfEachKind) {
  TempFolder net;
  const auto add = [&](const char* name, int type, const char* address, const char* wireless) {
    std::filesystem::create_directories(net.path() / name);
    std::ofstream(net.path() / name / "type") << type << "\n";
    std::ofstream(net.path() / name / "address") << address << "\n";
    if (wireless != nullptr) std::filesystem::create_directories(net.path() / name / wireless);
  };
  uint8_t mac[kIdentityMacSize];
  EXPECT_FALSE(tlxIdentityFindMac(net.path().string(), false, mac));
  add("lo", 772, "00:00:00:00:00:00", nullptr);
  add("a0", 1, "00:00:00:00:00:00", nullptr);
  add("b1", 1, "52:54:00:12:34:56", nullptr);
  add("c2", 1, "52:54:00:ff:ff:ff", nullptr);
  add("a3", 1, "00:11:22:33:44:55", "wireless");
  add("d4", 1, "66:77:88:99:aa:bb", "phy80211");
  add("e5", 1, "not an address", nullptr);
  ASSERT_TRUE(tlxIdentityFindMac(net.path().string(), false, mac));
  EXPECT_EQ("525400123456", Hex(mac, 6));
  ASSERT_TRUE(tlxIdentityFindMac(net.path().string(), true, mac));
  EXPECT_EQ("001122334455", Hex(mac, 6));
  EXPECT_FALSE(tlxIdentityFindMac((net.path() / "missing").string(), true, mac));
}

}  // namespace
}  // namespace tlx::link

// The player's network configuration categories (device 2): what each
// writes to the store, what reads give back, and the refusals.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "link/config/tlx_cfg.h"
#include "link/network/anet_config.h"
#include "link/network/anet_mgr.h"
#include "link_env_support.h"

namespace tlx::link::test {
namespace {

class NetworkConfigTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { UseTestEnvironment(); }
  void SetUp() override {
    DeleteTree(kTlxKey);
    ASSERT_EQ(0, tlxInitConfig(0x300));
  }
  void TearDown() override { tlxCleanupConfig(); }
};

// Fills a slot with text, or with `width` characters of 'z' (no NUL) when
// text is null.
void Put(void* record, size_t offset, size_t width, const char* text) {
  auto* slot = static_cast<char*>(record) + offset;
  if (text == nullptr) {
    std::memset(slot, 'z', width);
  } else {
    std::strncpy(slot, text, width);
  }
}

TEST_F(NetworkConfigTest, EachCategoryWritesItsKeysCutToTheirSlots) {
  ANET_CFG_STATIC ether{};
  Put(&ether, offsetof(ANET_CFG_STATIC, useDhcp), 4, "0");
  Put(&ether, offsetof(ANET_CFG_STATIC, ipAddress), 18, "192.0.2.10");
  Put(&ether, offsetof(ANET_CFG_STATIC, subnetMask), 18, "255.255.255.0");
  Put(&ether, offsetof(ANET_CFG_STATIC, gateway), 18, nullptr);
  Put(&ether, offsetof(ANET_CFG_STATIC, dns1), 18, "192.0.2.1");
  Put(&ether, offsetof(ANET_CFG_STATIC, dns2), 18, "192.0.2.2");
  ANET_CFG_STATIC wlan = ether;
  ANET_CFG_DHCP dhcp{};
  Put(&dhcp, offsetof(ANET_CFG_DHCP, useDhcp), 4, "1");
  Put(&dhcp, offsetof(ANET_CFG_DHCP, hostName), 152, nullptr);
  Put(&dhcp, offsetof(ANET_CFG_DHCP, useAutoDns), 4, "1");
  Put(&dhcp, offsetof(ANET_CFG_DHCP, dns1), 18, "198.51.100.1");
  ANET_CFG_DHCP wlanDhcp = dhcp;
  Put(&wlanDhcp, offsetof(ANET_CFG_DHCP, useAutoDns), 4, "0");
  ANET_CFG_RAVIX ravix{};
  Put(&ravix, offsetof(ANET_CFG_RAVIX, useRavix), 4, nullptr);
  Put(&ravix, offsetof(ANET_CFG_RAVIX, port), 12, "6021");
  Put(&ravix, offsetof(ANET_CFG_RAVIX, hostName), 52, "base.example");
  ANET_CFG_CONNTYPE kind{};
  Put(&kind, 0, 8, nullptr);
  ANET_CFG_ETHERAV av{};
  Put(&av, 0, 4, "1");
  Put(&av, 4, 18, "192.0.2.50");

  const struct {
    int cfgType;
    const void* data;
    std::vector<std::pair<const char*, std::string>> keys;
  } cases[] = {
      {ANET_CFG_ETHER_STATIC_TYPE, &ether,
       {{"network/ether/useDHCP", "0"},
        {"network/ether/subnetmask", "255.255.255.0"},
        {"network/ether/dftgateway", std::string(17, 'z')},
        {"network/ether/dns2", "192.0.2.2"}}},
      {ANET_CFG_WLAN_STATIC_TYPE, &wlan,
       {{"network/wlan/IPaddress", "192.0.2.10"}, {"network/wlan/dftgateway", std::string(17, 'z')}}},
      // The DNS pair is written only when automatic DNS is off: the static
      // category's stays.
      {ANET_CFG_ETHER_DHCP_TYPE, &dhcp,
       {{"network/ether/dhcp/hostname", std::string(151, 'z')}, {"network/ether/dns1", "192.0.2.1"}}},
      {ANET_CFG_WLAN_DHCP_TYPE, &wlanDhcp,
       {{"network/wlan/dhcp/useAutoDns", "0"}, {"network/wlan/dns1", "198.51.100.1"}}},
      {ANET_CFG_RAVIX_TYPE, &ravix,
       {{"network/ravix/useRavix", "zzz"}, {"network/ravix/port", "6021"}, {"network/ravix/hostname", "base.example"}}},
      {ANET_CFG_WLAN_CONNTYPE_TYPE, &kind, {{"network/wlan/conntype", "zzzzzzz"}}},
      {ANET_CFG_ETHERAV_TYPE, &av, {{"network/etherav/useEtherAV", "1"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.cfgType);
    EXPECT_EQ(1, tlxAnetMgrAPI_SetConfig(kAnetDevicePlayer, c.cfgType, c.data));
    for (const auto& [key, text] : c.keys) EXPECT_EQ(text, tlxCfgGet(key)) << key;
  }
}

TEST_F(NetworkConfigTest, ReadsGiveTerminatedSlots) {
  tlxCfgSet("network/ravix/hostname", std::string(80, 'h').c_str());
  tlxCfgSet("network/ravix/port", "5021");
  ANET_CFG_RAVIX ravix;
  std::memset(&ravix, 0x7F, sizeof ravix);
  ASSERT_EQ(1, tlxAnetMgrAPI_GetConfig(kAnetDevicePlayer, ANET_CFG_RAVIX_TYPE, &ravix));
  EXPECT_EQ(std::string(51, 'h'), std::string(ravix.hostName));
  EXPECT_STREQ("5021", ravix.port);
  EXPECT_STREQ("1", ravix.useRavix);
  ANET_CFG_CONNTYPE kind;
  ASSERT_EQ(1, tlxAnetMgrAPI_GetConfig(kAnetDevicePlayer, ANET_CFG_CONNTYPE_TYPE, &kind));
  EXPECT_STREQ("EtherS", kind.connType);
  ANET_CFG_ETHERAV av;
  ASSERT_EQ(1, tlxAnetMgrAPI_GetConfig(kAnetDevicePlayer, ANET_CFG_ETHERAV_TYPE, &av));
  EXPECT_STREQ("", av.ipAddress);
}

TEST_F(NetworkConfigTest, RefusalsLeaveTheStoreAlone) {
  uint8_t record[512] = {};
  std::memset(record, 'x', sizeof record);
  for (int cfgType : {1, 2, 3, 4, 5, 8, 10, 11, 12, 13, 99}) {
    EXPECT_EQ(6, tlxAnetMgrAPI_GetConfig(kAnetDevicePlayer, cfgType, record)) << cfgType;
  }
  EXPECT_EQ(-1, tlxAnetMgrAPI_SetConfig(kAnetDevicePlayer, ANET_CFG_IFTYPE_TYPE, record));
  for (int cfgType : {3, 4, 5, 13, 99}) {
    EXPECT_EQ(-1, tlxAnetMgrAPI_SetConfig(kAnetDevicePlayer, cfgType, record)) << cfgType;
  }
  EXPECT_EQ(6, tlxAnetMgrAPI_SetConfig(kAnetDevicePlayer, ANET_CFG_RAVIX_TYPE, nullptr));
  EXPECT_EQ(6, tlxAnetMgrAPI_GetConfig(kAnetDevicePlayer, ANET_CFG_RAVIX_TYPE, nullptr));
  EXPECT_EQ(6, tlxAnetMgrAPI_GetConfig(3, ANET_CFG_RAVIX_TYPE, record));
  EXPECT_EQ("5021", tlxCfgGet("network/ravix/port"));
}

TEST_F(NetworkConfigTest, DefaultsFillOnlyEmptyKeys) {
  tlxCfgSet("network/ravix/hostname", "base.example");
  AnetMgrConfig_WriteDefaults();
  EXPECT_EQ("base.example", tlxCfgGet("network/ravix/hostname"));
  EXPECT_EQ("1", tlxCfgGet("network/ravix/useRavix")) << "the store's own default stands";
  EXPECT_EQ("3", tlxCfgGet("network/ravix/rate"));
  EXPECT_EQ("EtherD", tlxCfgGet("network/wlan/conntype"));
}

TEST(NetworkKindTest, KindTexts) {
  EXPECT_EQ(kAnetKindStatic, AnetMgrConfig_ParseKind("EtherS"));
  EXPECT_EQ(kAnetKindDhcp, AnetMgrConfig_ParseKind("EtherD"));
  for (const char* other : {"", "ethers", "EtherS ", "Ether", static_cast<const char*>(nullptr)}) {
    EXPECT_EQ(kAnetKindUnknown, AnetMgrConfig_ParseKind(other));
  }
  EXPECT_EQ(0, AnetMgrConfig_GetPayloadSize(14));
  EXPECT_EQ(438, AnetMgrConfig_GetPayloadSize(13));
  EXPECT_EQ(226, AnetMgrConfig_GetPayloadSize(3));
}

}  // namespace
}  // namespace tlx::link::test

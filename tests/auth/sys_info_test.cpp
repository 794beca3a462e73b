// Identity items as the rest of the library reads them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "identity_fixture.h"
#include "state_fixture.h"
#include "auth/sys_info.h"

using namespace tlx::auth;

namespace {

using tlx::test::AuthStateTest;
using tlx::test::TestIdentity;

using SysInfo = AuthStateTest;

TEST_F(SysInfo, NothingReadsBeforeRegistration) {
  unsigned char raw[256];
  int length = 7;
  EXPECT_EQ(tlxSysInfoRead(SYSINFO_ETHER_MAC_ADDR_P, raw, &length), -1);
  char out[64];
  std::memset(out, 'x', sizeof out);
  EXPECT_EQ(sysInfoRead(SYSINFO_ETHER_MAC_ADDR_P, out, sizeof out), -1);
  EXPECT_EQ(std::string(out, sizeof out), std::string(sizeof out, '\0'));

  char key[33];
  std::memset(key, 'x', sizeof key);
  EXPECT_EQ(TlxRavixGetAKS(key), -1);
  EXPECT_EQ(std::string(key, sizeof key), std::string(sizeof key, '\0'));
  EXPECT_EQ(TlxRavixGetAKS(nullptr), E_POINTER);
}

TEST_F(SysInfo, ItemFormats) {
  const TLX_SYSINFO_RECORD identity = TestIdentity();
  ASSERT_TRUE(TlxRavixSysInfoRegister(&identity));
  const std::string key = tlx::test::TestSharedKeyHex();
  struct {
    int item;
    int outLen;
    int result;
    std::string text;
  } const cases[] = {
      {SYSINFO_ETHER_MAC_ADDR_P, 13, 0, "001122334455"},
      {SYSINFO_ETHER_MAC_ADDR_P, 12, -1, ""},
      {SYSINFO_WLAN_MAC_ADDR_P, 13, 0, "66778899AABB"},
      {SYSINFO_SHARED_KEY, 129, 0, key},
      {SYSINFO_SHARED_KEY, 128, -1, ""},
      {SYSINFO_PLAYER_IDENT, 9, 0, "ABCD1234"},
      {SYSINFO_PLAYER_IDENT, 8, -1, ""},
      {SYSINFO_INFO_MODEL_P, 10, 0, "QZA-K20US"},
      {SYSINFO_INFO_MODEL_P, 9, -1, ""},
      {6, 256, -1, ""},  // items without a value
      {1793, 256, -1, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.item << " into " << c.outLen);
    char out[300];
    std::memset(out, 'x', sizeof out);
    EXPECT_EQ(sysInfoRead(c.item, out, c.outLen), c.result);
    EXPECT_EQ(std::string(out), c.text);
  }
}

TEST_F(SysInfo, ModelNameLosesItsEditionLetter) {
  struct {
    const char* model;
    const char* item;
  } const cases[] = {
      {"AB1PC", "AB1C"},          {"AB1P", "AB1"},           {"X9B2PZ", "X9B2Z"},    {"QZA-K20US", "QZA-K20US"},
      {"QZA-K20PUS", "QZA-K20US"}, {"QZA-K20BEU", "QZA-K20EU"}, {"PB1", "PB1"},       {"", ""},
      {"A1PP2B", "A1PP2"},        {"123456789012345", "123456789012345"},
  };
  for (const auto& c : cases) {
    const TLX_SYSINFO_RECORD identity = TestIdentity(c.model);
    ASSERT_TRUE(TlxRavixSysInfoRegister(&identity));
    char out[16];
    EXPECT_EQ(sysInfoRead(SYSINFO_INFO_MODEL_P, out, sizeof out), c.model[0] != '\0' ? 0 : -1) << c.model;
    EXPECT_STREQ(out, c.item) << c.model;
  }
}

TEST_F(SysInfo, TextsWithoutTheirNulStayInTheirFields) {
  TLX_SYSINFO_RECORD identity = TestIdentity();
  std::memset(identity.modelName, 'M', sizeof identity.modelName);
  std::memset(identity.playerIdent, 'I', sizeof identity.playerIdent);
  ASSERT_TRUE(TlxRavixSysInfoRegister(&identity));
  char out[64];
  EXPECT_EQ(sysInfoRead(SYSINFO_INFO_MODEL_P, out, sizeof out), 0);
  EXPECT_EQ(std::string(out), std::string(16, 'M'));
  EXPECT_EQ(sysInfoRead(SYSINFO_PLAYER_IDENT, out, sizeof out), 0);
  EXPECT_EQ(std::string(out), std::string(9, 'I'));
  EXPECT_FALSE(TlxRavixSysInfoRegister(nullptr));
}

}  // namespace

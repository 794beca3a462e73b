// What registration sends and how it reads what comes back, without a base
// station: the portable info, the base-data parser and the value map.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "identity_fixture.h"
#include "auth/registration.h"
#include "state_fixture.h"

using namespace tlx::auth;

namespace {

using tlx::test::TestIdentity;

class Registration : public tlx::test::AuthStateTest {
 protected:
  void SetUp() override {
    AuthStateTest::SetUp();
    tlxAuthState().observers.push_back(&tlxRegValueSet);
  }
  static std::map<std::string, std::string> Values() {
    return {tlxAuthState().regValues.begin(), tlxAuthState().regValues.end()};
  }
};

TEST_F(Registration, BaseDataLines) {
  using Map = std::map<std::string, std::string>;
  struct {
    const char* name;
    const char* text;
    int result;
    Map values;
  } const cases[] = {
      {"record names are kept, line ends CR, LF and CRLF",
       "STATUS: 1\nREGISTRATION_VER: 1.0\rALIAS:  Den\r\nETHER_MAC_ADDR_B: 0A0B0C0D0E0F\n"
       "INFO_SERIAL_B: S1\nINFO_MODEL_B: HX-R10\n",
       0,
       {{"INFO_MODEL_B", "HX-R10"}}},
      {"unknown names and a name seen again go to the map",
       "STATUS: 1\nSTATUS: 2\nBASE_NAME: hall\nK: 1\nK: 2\n", 0,
       {{"STATUS", "2"}, {"BASE_NAME", "hall"}, {"K", "1\x01" "2"}, {"INFO_MODEL_B", ""}}},
      {"a last piece without a line break is not read", "A: 1\nB: 2", 0, {{"A", "1"}, {"INFO_MODEL_B", ""}}},
      {"values are cut to the record's sizes", "INFO_MODEL_B: 0123456789ABCDEFGHIJ\nX:\n", 0,
       {{"X", ""}, {"INFO_MODEL_B", "0123456789ABCDE"}}},
      {"a line without a colon", "A: 1\nno colon\nB: 2\n", 7, {{"A", "1"}}},
      {"an empty line has no colon either", "A: 1\n\n", 7, {{"A", "1"}}},
      {"nothing", "", 0, {{"INFO_MODEL_B", ""}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    tlxAuthState().regValues.clear();
    EXPECT_EQ(registration_parse_base_data(c.text), c.result);
    EXPECT_EQ(Values(), c.values);
  }
  EXPECT_EQ(registration_parse_base_data(nullptr), 7);
}

TEST_F(Registration, ValueMapReadsAndJoins) {
  EXPECT_EQ(tlxRegValueGet("K"), "");
  tlxRegValueSet("K", "1");
  tlxRegValueSet("K", "2");
  tlxRegValueSet("K", "");
  EXPECT_EQ(tlxRegValueGet("K"), std::string("1\x01" "2\x01", 4));
  EXPECT_STREQ(TlxRavixGetRegValue("K"), "1\x01" "2\x01");
  EXPECT_STREQ(TlxRavixGetRegValue("k"), "");
  EXPECT_STREQ(TlxRavixGetRegValue(nullptr), "");
}

TEST_F(Registration, PortableInfoOfTheTestIdentity) {
  const TLX_SYSINFO_RECORD identity = TestIdentity("QZA-K20PJP");
  ASSERT_TRUE(TlxRavixSysInfoRegister(&identity));
  const std::string expected =
      "REGISTRATION_VER: 1.0.1.1\n"
      "ACCEPTABLE_MODEL: *JP\n"
      "ALIAS: Living room\n"
      "ETHER_MAC_ADDR_P: 001122334455\n"
      "WLAN_MAC_ADDR_P: 66778899AABB\n"
      "INFO_SERIAL_P: ABCD1234\n"
      "INFO_MODEL_P: QZA-K20JP\n"
      "TLX_SHRD_KEY_1: " + tlx::test::TestSharedKeyHex() + "\n";
  char buffer[2048];
  ASSERT_EQ(registration_FormatPortableInfo(buffer, sizeof buffer, "Living room"), static_cast<int>(expected.size()));
  EXPECT_EQ(std::string(buffer), expected);
  EXPECT_EQ(registration_FormatPortableInfo(buffer, static_cast<int>(expected.size()), "Living room"), -1);
  EXPECT_EQ(registration_FormatPortableInfo(buffer, static_cast<int>(expected.size()) + 1, "Living room"),
            static_cast<int>(expected.size()));

  // An unknown model registers with the first row of the model table.
  const TLX_SYSINFO_RECORD unknown = TestIdentity("ZZ-1");
  ASSERT_TRUE(TlxRavixSysInfoRegister(&unknown));
  ASSERT_GT(registration_FormatPortableInfo(buffer, sizeof buffer, nullptr), 0);
  EXPECT_TRUE(std::string(buffer).starts_with("REGISTRATION_VER: 1.0.1.1\nACCEPTABLE_MODEL: *\nALIAS: \n"));
}

TEST_F(Registration, PortableInfoNeedsTheIdentity) {
  char buffer[2048];
  EXPECT_EQ(registration_FormatPortableInfo(buffer, sizeof buffer, "x"), -1);
}

TEST_F(Registration, ReceivedBaseDataOfWholeBlocksParsesCleanly) {
  // The sender's trailing zero block must not turn into a line of garbage.
  const std::string lines[] = {
      "STATUS: 1\nALIAS: Den\nK: v\nINFO_MODEL_B: HX-R10\n",  // not whole blocks
      "STATUS: 1\nALIAS: Den\nK: 0123456789abcdefgh\nINFO_MODEL_B: HX-R10\n",
  };
  ASSERT_EQ(lines[1].size() % 16, 0u);
  for (const std::string& text : lines) {
    SCOPED_TRACE(text);
    unsigned char key[16];
    tlxRegistrationKey("8372", key);
    std::vector<uint8_t> sent;
    ASSERT_EQ(Auth_AES_encrypt(key, reinterpret_cast<const unsigned char*>(text.data()), text.size(), sent), 0);
    tlxAuthState().regValues.clear();
    EXPECT_EQ(RegistrationAddBase("8372", static_cast<int>(sent.size()), sent.data()), 0);
    EXPECT_EQ(tlxRegValueGet("K"), text.substr(text.find("K: ") + 3, text.find("\nINFO") - text.find("K: ") - 3));
    EXPECT_EQ(tlxRegValueGet("INFO_MODEL_B"), "HX-R10");
    EXPECT_EQ(tlxAuthState().regValues.size(), 2u);
  }
  // Nothing left once the zero block is dropped: empty base data.
  const unsigned char zeroBlock[16] = {};
  for (int length : {0, 16}) {
    tlxAuthState().regValues.clear();
    EXPECT_EQ(RegistrationAddBase("8372", length, zeroBlock), 0);
    EXPECT_EQ(tlxAuthState().regValues.size(), 1u);
  }
}

}  // namespace

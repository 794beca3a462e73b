// Registration values and the records made from them, over the stand-in of
// the authentication library with a value map of the test's.
#include "link/config/regist_values.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "link/config/line_info.h"
#include "link/config/link_options.h"
#include "link/config/tlx_cfg.h"
#include "link_env_support.h"

namespace tlx::link {
namespace {

using Values = std::vector<const char*>;

class RegistValuesTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { test::UseTestEnvironment(); }
  void SetUp() override {
    ASSERT_NE(set_, nullptr);
    ASSERT_EQ(0, tlxInitConfig(0x300));
    tlxSetOptionWord(0x300);
  }
  void TearDown() override {
    set_(nullptr);
    tlxSetOptionWord(0);
    tlxCleanupConfig();
  }
  // Name/value pairs; names not given have no value.
  void Use(Values pairs) {
    pairs.push_back(nullptr);
    set_(pairs.data());
  }

 private:
  void (*set_)(const char* const*) = test::StubEntry<void (*)(const char* const*)>("libTlxAuthStub.so",
                                                                                   "StubAuthSetRegValues");
};

TEST_F(RegistValuesTest, EachTypeReadsItsValueOrPart) {
  Use({"WLAN", " 2", "VFMT", "1,2,3", "LINEINFO", "P0\x01  P1\x01P2", "INFO_MODEL_B", "  QZB-K20US", "RCOMFUNC", "0x1F",
       "ID", "  ID 7"});
  const struct {
    int type;
    const char* text;
  } cases[] = {{0, " 2"},          {1, "1,2,3"}, {2, "P0"},    {3, "P1"}, {4, "P2"}, {5, ""},
               {6, "  QZB-K20US"}, {7, "0x1F"},  {8, " ID 7"}, {9, ""},   {-1, ""}};
  for (const auto& c : cases) EXPECT_EQ(tlxRegValue(c.type), c.text) << c.type;
  Use({});
  EXPECT_EQ(tlxRegValue(0), "");
  EXPECT_EQ(tlxRegValue(8), "");
}

TEST_F(RegistValuesTest, ARegionsDefaultLinesStandInForAMissingValue) {
  Use({});
  TLX_CAP_LINE_INFO line;
  ASSERT_EQ(tlxRegistCapLineInfo(0, &line), 0);
  EXPECT_EQ(line.type, 0);
  EXPECT_EQ(line.line, 0);
  EXPECT_EQ(line.air, 0);
  for (int index : {1, 2}) {
    ASSERT_EQ(tlxRegistCapLineInfo(index, &line), 0);
    EXPECT_EQ(line.type, 1);
    EXPECT_EQ(line.line, index);
  }
  EXPECT_EQ(tlxRegistCapLineInfo(3, &line), -1);
  EXPECT_EQ(tlxRegValue(2).substr(0, 22), "TYPE=0,LINE=0,AIR=0,AI");
  tlxSetOptionWord(0x301);
  ASSERT_EQ(tlxRegistCapLineInfo(0, &line), 0);
  EXPECT_EQ(line.air, 2);
  for (uint32_t region : {0x310u, 0x315u, 0x304u}) {
    tlxSetOptionWord(region);
    EXPECT_EQ(tlxRegistCapLineInfo(0, &line), -1) << region;
  }
  EXPECT_EQ(tlxRegistCapLineInfo(0, nullptr), -1);
}

TEST(LineRecord, ParsesEachItemAndRefusesWithItsCode) {
  struct Case {
    const char* text;
    int result;
  };
  const Case cases[] = {
      {"LINE=0", -10},
      {"TYPE=x,LINE=0", -10},
      {"TYPE=0", -11},
      {"TYPE=0,LINE=", -11},
      {"TYPE=0,LINE=0,\"RCOMID=US,1,2\"", -12},
      {"TYPE=0,LINE=0,\"RCOMID=US\"", -12},
      {"TYPE=0,LINE=0,\"RCOMID=US,2,1,2,0,0,0:Maker\"", -12},
      {"TYPE=0,LINE=0,\"RCOMID=US,2,1,2,0,0,0:Ma=ker,Model\"", -12},
      {"TYPE=0,LINE=0,\"RCOMID=US,1,1,2,0,0,0:Maker,Model\"", -12},  // names for no device of kind 2
      {"TYPE=0,LINE=0,\"RCOMID=US,1,1,2,0,0,0 junk\"", -12},
      {"TYPE=0,LINE=0,AIR=x,AIRRNG=1-2", -13},
      {"TYPE=0,LINE=0,AIR=1,AIRRNG=1", -13},
      {"TYPE=0,LINE=0,AIR=1,\"AIRRNG=1-2,3\"", -13},
      {"TYPE=0,LINE=0,AIR=1", -14},
      {"TYPE=0,LINE=0,AIR=1,AIRRNGX=1-2", -14},
      {"TYPE=0,LINE=0,CBL=1", -14},
      {"TYPE=0,LINE=0,EXT=", -15},
      {"TYPE=0,LINE=0,EXT=1,EXTRNG=1", -15},
      {"TYPE=0,LINE=0,\"BLI=0,1", -10},  // an unbalanced quote
      {"TYPE=2147483648,LINE=0", -10},   // beyond int32
      {"TYPE=0,LINE=0x100000000", -11},
      {"TYPE,LINE=0", -10},  // an item without '='
      {"TYPE=1,LINE=2", 0},
  };
  for (const Case& c : cases) {
    TlxLineRecord record;
    EXPECT_EQ(tlxParseLineRecord(c.text, &record), c.result) << c.text;
  }
}

TEST(LineRecord, FieldsOfWellFormedRecords) {
  TlxLineRecord r;
  ASSERT_EQ(tlxParseLineRecord(
                "TYPE=0,LINE=0x3,AIRRNGX=9,AIR=2,\"AIRRNG=1-62, 113-163,200-0x10\",CBL=-1,CBLRNG=1-125,\"BLI=0,1,2,3,4,"
                "5,6,7,8\",EXT=1,\"EXTRNG=1,1-6\"",
                &r),
            0);
  EXPECT_EQ(r.line, 3);
  EXPECT_EQ(r.air, 2);
  EXPECT_EQ(r.airRange[0].low, 1);
  EXPECT_EQ(r.airRange[0].high, 62);
  EXPECT_EQ(r.airRange[1].low, 113);
  EXPECT_EQ(r.airRange[2].high, 16);
  EXPECT_EQ(r.cbl, -1);
  EXPECT_EQ(r.cblRange[0].high, 125);
  EXPECT_EQ(r.cblRange[1].high, 0);
  EXPECT_EQ(r.bliCount, 8);
  EXPECT_EQ(r.bli[7], 7);
  EXPECT_EQ(r.ext, 1);
  EXPECT_EQ(r.extRngValue, 1);
  EXPECT_EQ(r.extRange.high, 6);
  EXPECT_EQ(r.device[0].kind, 0);

  ASSERT_EQ(tlxParseLineRecord("TYPE=1,LINE=1,\"RCOMID=US,2,0x10,7,2,3,4:Maker A,Model 1,Maker B,Model 2\"", &r), 0);
  EXPECT_STREQ(r.rcomText, "US");
  EXPECT_EQ(r.device[0].kind, 2);
  EXPECT_EQ(r.device[0].first, 16);
  EXPECT_EQ(r.device[0].second, 7);
  EXPECT_STREQ(r.device[0].makerName, "Maker A");
  EXPECT_STREQ(r.device[1].modelName, "Model 2");
  ASSERT_EQ(tlxParseLineRecord("TYPE=1,LINE=1,\"RCOMID=US,1,5,6,2,3,4:M,N\"", &r), 0);
  EXPECT_STREQ(r.device[0].makerName, "");
  EXPECT_STREQ(r.device[1].makerName, "M");
  ASSERT_EQ(tlxParseLineRecord("TYPE=1,LINE=1,\"RCOMID=US,2,5,6,1,3,4\"", &r), 0) << "names may be left out";
  EXPECT_STREQ(r.device[0].makerName, "");

  // 4000 characters: texts are cut, nothing is read past the value.
  const std::string longName(4000, 'n');
  ASSERT_EQ(tlxParseLineRecord("TYPE=1,LINE=1,\"RCOMID=" + longName + ",2,1,1,0,0,0:" + longName + ",m\"", &r), 0);
  EXPECT_EQ(std::strlen(r.rcomText), 63u);
  EXPECT_EQ(std::strlen(r.device[0].makerName), 63u);
  EXPECT_EQ(tlxParseLineRecord("TYPE=0,LINE=0," + longName, &r), 0);
  EXPECT_EQ(tlxParseLineRecord("TYPE=0,LINE=0,\"" + longName, &r), -10);
}

TEST_F(RegistValuesTest, LineInfoRecordsAreByteExact) {
  Use({"LINEINFO",
       "TYPE=0,LINE=0,AIR=0x1FF,AIRRNG=2-69,\"RCOMID=XX,2,0x0102,3,1,4,5:Mk,Md\"\x01"
       "TYPE=1,LINE=1,\"RCOMID=US,1,7,8,2,9,10:Maker,Model\"\x01"
       "TYPE=1,LINE=2,\"RCOMID=JP,1,7,8,2,9,10:Maker,Model\"\x01"
       "TYPE=1"});
  auto bytes = [](const TLX_CAP_LINE_INFO& line) {
    return std::vector<uint8_t>(reinterpret_cast<const uint8_t*>(&line),
                                reinterpret_cast<const uint8_t*>(&line) + sizeof line);
  };
  auto equip = [](std::vector<uint8_t>& out, size_t at, uint8_t kind, int32_t first, int32_t second, const char* maker,
                  const char* model) {
    out[at] = kind;
    std::memcpy(&out[at + 4], &first, 4);
    std::memcpy(&out[at + 8], &second, 4);
    std::memcpy(&out[at + 12], maker, std::strlen(maker));
    std::memcpy(&out[at + 76], model, std::strlen(model));
  };
  TLX_CAP_LINE_INFO line;
  std::memset(&line, 0x5A, sizeof line);
  ASSERT_EQ(tlxRegistCapability(1, 0, &line), 0);
  std::vector<uint8_t> tuner(348, 0);
  tuner[4] = 0xFF;                            // the low byte of the AIR code
  equip(tuner, 8, 2, 0x0102, 3, "Mk", "Md");  // a tuner's first device, whatever its text
  EXPECT_EQ(bytes(line), tuner);

  ASSERT_EQ(tlxRegistCapLineInfo(1, &line), 0);
  std::vector<uint8_t> matching(348, 0);
  matching[0] = 1;
  matching[1] = 1;
  equip(matching, 8, 1, 7, 8, "", "");
  equip(matching, 148, 2, 9, 10, "Maker", "Model");
  EXPECT_EQ(bytes(line), matching) << "the text names the player's remote-commander model, US";

  ASSERT_EQ(tlxRegistCapLineInfo(2, &line), 0);
  std::vector<uint8_t> other(348, 0);
  other[0] = 1;
  other[1] = 2;
  EXPECT_EQ(bytes(line), other) << "another model: type and line only";

  EXPECT_EQ(tlxRegistCapLineInfo(3, &line), -1) << "a record that does not parse";
  EXPECT_EQ(bytes(line), std::vector<uint8_t>(348, 0));
  EXPECT_EQ(tlxRegistCapLineInfo(4, &line), -1);
  EXPECT_EQ(tlxRegistCapLineInfo(-1, &line), -1);
}

TEST_F(RegistValuesTest, WlanVideoSystemAndRemoteFunctions) {
  Use({"WLAN", "  12x"});
  TLX_CAP_WLAN wlan;
  std::memset(&wlan, 0x5A, sizeof wlan);
  ASSERT_EQ(tlxRegistCapability(0, 0, &wlan), 0);
  std::vector<uint8_t> expected(176, 0);
  const int32_t support = 12;
  const int32_t unset = -1;
  std::memcpy(&expected[36], &support, 4);
  for (size_t at : {40u, 44u, 48u, 104u}) std::memcpy(&expected[at], &unset, 4);
  EXPECT_EQ(std::vector<uint8_t>(reinterpret_cast<uint8_t*>(&wlan), reinterpret_cast<uint8_t*>(&wlan) + 176), expected);

  struct Case {
    const char* vfmt;
    const char* pictconf;  // null: no value
    TLX_CAP_VIDEO_SYSTEM expected;
  };
  const Case cases[] = {
      {"1,2,3", nullptr, {2, 1, 3, 0, 0}},       {"0x10, 2", "0", {2, 16, 508, 0, 0}},
      {"5", "1,BRI, HUE,SHAX", {1, 1, 1, 1, 9}}, {"x,2,3", "1", {1, 1, 1, 1, 31}},
      {"1,2,3", "1,FOO", {2, 1, 3, 1, 31}},      {"1,2,3", "1,BRI,PIC,COL,HUE,SHA", {2, 1, 3, 1, 31}},
      {"1,2,3", "2,BRI", {2, 1, 3, 0, 0}},
  };
  for (const Case& c : cases) {
    if (c.pictconf != nullptr) {
      Use({"VFMT", c.vfmt, "PICTCONF", c.pictconf});
    } else {
      Use({"VFMT", c.vfmt});
    }
    TLX_CAP_VIDEO_SYSTEM video;
    ASSERT_EQ(tlxRegistCapability(2, 0, &video), 0) << c.vfmt;
    EXPECT_EQ(std::memcmp(&video, &c.expected, sizeof video), 0)
        << c.vfmt << " / " << (c.pictconf ? c.pictconf : "-") << ": " << video.formatSecond << ' ' << video.formatFirst
        << ' ' << video.formatThird << ' ' << video.pictureControlMode << ' ' << video.pictureControlMask;
  }

  Use({"RCOMFUNC", "0x1F"});
  int functions = 5;
  EXPECT_EQ(tlxRegistCapability(3, 0, &functions), 0);
  EXPECT_EQ(functions, 31);
  Use({});
  EXPECT_EQ(tlxRegistCapRcomFunc(&functions), -1);
  EXPECT_EQ(functions, 0);
  EXPECT_EQ(tlxRegistCapRcomFunc(nullptr), -1);
  EXPECT_EQ(tlxRegistCapWlan(&wlan), -1);
  EXPECT_EQ(std::vector<uint8_t>(reinterpret_cast<uint8_t*>(&wlan), reinterpret_cast<uint8_t*>(&wlan) + 176),
            std::vector<uint8_t>(176, 0));
  TLX_CAP_VIDEO_SYSTEM video;
  EXPECT_EQ(tlxRegistCapVideoSystem(&video), -1);
  EXPECT_EQ(tlxRegistCapability(4, 0, &video), -1);
}

TEST_F(RegistValuesTest, TheRemoteCommanderBlockIsByteExact) {
  UIRCOM_CONFIG config;
  std::memset(&config, 0x77, sizeof config);  // bytes that are not read
  config.input = 3;
  config.equip[0].kind = 2;
  config.equip[0].makerId = 0x0102;
  config.equip[0].modelId = 0x0304;
  std::memset(config.equip[0].makerName, 'm', sizeof config.equip[0].makerName);  // unterminated: cut to 63
  std::strcpy(config.equip[0].modelName, "Model");
  config.equip[1].kind = 1;
  config.equip[1].makerId = 0x0506;
  config.equip[1].modelId = 0x0708;
  std::strcpy(config.equip[1].makerName, "");
  std::strcpy(config.equip[1].modelName, "M2");
  uint8_t block[kRcomConfigBlockSize];
  tlxRcomPackConfig(config, block);
  std::vector<uint8_t> expected(272, 0);
  expected[0] = 1;
  expected[1] = 3;
  std::memcpy(&expected[2], "US", 2);
  expected[6] = 2;
  std::memcpy(&expected[7], &config.equip[0].makerId, 2);
  std::memcpy(&expected[9], &config.equip[0].modelId, 2);
  std::memset(&expected[11], 'm', 63);
  std::memcpy(&expected[75], "Model", 5);
  expected[139] = 1;
  std::memcpy(&expected[140], &config.equip[1].makerId, 2);
  std::memcpy(&expected[142], &config.equip[1].modelId, 2);
  std::memcpy(&expected[208], "M2", 2);
  EXPECT_EQ(std::vector<uint8_t>(block, block + sizeof block), expected);
}

TEST(ConnectableModel, TheNameEndsInTheRegionsSuffix) {
  const struct {
    const char* model;
    uint32_t option;
    int result;
  } cases[] = {
      {"HX-Z1US", 0, 0},  {"HX-Z1US", 1, -1}, {"US", 0, 0},          {"S", 0, -1},         {"", 0, -1},
      {"", 1, -1},        {nullptr, 0, -1},   {"HX-Z1JP", 0x301, 0}, {"HX-Z1EU", 0x12, 0}, {"HX-Z1EU", 0x310, 0},
      {"HX-Z1us", 0, -1}, {"HX-Z1EU", 4, -1}, {"HX-Z1US", 0x16, -1}, {"HX-Z1KR", 3, 0},    {"HX-Z1TW", 2, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(tlxIsConnectableModel(c.model, c.option), c.result) << (c.model ? c.model : "null") << ' ' << c.option;
  }
}

}  // namespace
}  // namespace tlx::link

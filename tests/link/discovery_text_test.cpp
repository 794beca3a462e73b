// Discovery's texts and interface filter as pure functions: no socket is
// opened here.
#include "link/discovery/discovery_text.h"

#include <gtest/gtest.h>
#include <net/if.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "link/config/identity_read.h"
#include "link/discovery/discovery_ifaces.h"

namespace tlx::link {
namespace {

constexpr uint32_t Ip(int a, int b, int c, int d) {
  return static_cast<uint32_t>(a) << 24 | static_cast<uint32_t>(b) << 16 | static_cast<uint32_t>(c) << 8 |
         static_cast<uint32_t>(d);
}

TEST(DiscoveryText, SearchIsByteExactForEachReplyMode) {
  EXPECT_EQ(tlxDiscoverySearchText("QZA-K20US", 2, 7777),
            "SEARCH Telvara_BaseStation\r\nVersion: 1.0.2\r\nModel: QZA-K20US\r\nPort: 7777 b\r\n\r\n");
  EXPECT_EQ(tlxDiscoverySearchText("", 1, 9001), "SEARCH Telvara_BaseStation\r\nVersion: 1.0.2\r\nPort: 9001\r\n\r\n");
  EXPECT_EQ(tlxDiscoverySearchText("M", 0, 9001), "SEARCH Telvara_BaseStation\r\nVersion: 1.0.2\r\nModel: M\r\n\r\n");
  EXPECT_EQ(tlxDiscoverySearchText(std::string(400, 'x'), 2, 1).size(), kDiscoverySearchMax);
}

// The seven counted lines, with an eighth text appended in each case.
std::string Notify(const std::string& extra, const std::string& end = "\r\n") {
  return "NOTIFY Telvara_BaseStation" + end + "Version: 1.2" + end + "Ravix_Host: host.example" + end +
         "Ravix_Port: 5021" + end + "Identifier: ID-1" + end + "BaseStation_Mode: NORMAL" + end + "Model: QZB" + end +
         "Nonce: 0123456789abcdef0123456789abcdef" + end + extra;
}

TEST(DiscoveryText, NotifyParsesEveryFieldWhateverTheLineEnd) {
  for (const char* end : {"\r\n", "\n", "\r"}) {
    TLX_DISCOVERED_BASE base;
    memset(&base, 0x5A, sizeof base);
    const std::string e = end;
    ASSERT_TRUE(tlxDiscoveryParseNotify(
        Notify("softversion:\t 3.4" + e + "DDNS_Enable: 1" + e + "URL: http://u" + e + "Nickname: Den" + e +
                   "COMPATIBILITY: 0x10" + e + "Ravix_Test: 3,5" + e + "NETIF: 0xFFFFFFFF" + e,
               e),
        &base))
        << "line end " << static_cast<int>(end[0]);
    EXPECT_STREQ(base.version, "1.2");
    EXPECT_STREQ(base.softVersion, "3.4");
    EXPECT_STREQ(base.address, "");
    EXPECT_STREQ(base.ravixHost, "host.example");
    EXPECT_EQ(base.ravixPort, 5021);
    EXPECT_STREQ(base.identifier, "ID-1");
    EXPECT_EQ(base.mode, 0);
    EXPECT_STREQ(base.model, "QZB");
    EXPECT_EQ(std::string(base.nonce, 32), "0123456789abcdef0123456789abcdef") << "the nonce is kept whole";
    EXPECT_EQ(base.reserved, 0);
    EXPECT_EQ(base.ddnsEnable, 1);
    EXPECT_STREQ(base.url, "http://u");
    EXPECT_STREQ(base.nickname, "Den");
    EXPECT_EQ(base.compatibility, 16);
    EXPECT_EQ(base.testSecond, 5);
    EXPECT_EQ(base.testFirst, 3);
    EXPECT_EQ(base.netif, 0xFFFFFFFFu);
  }
}

TEST(DiscoveryText, ValuesAreReadAsTheirFieldsSay) {
  struct Case {
    const char* extra;
    size_t offset;
    int32_t value;
  };
  const Case cases[] = {
      {"", offsetof(TLX_DISCOVERED_BASE, compatibility), 0},
      {"Compatibility: 010\r\n", offsetof(TLX_DISCOVERED_BASE, compatibility), 8},
      {"Compatibility: -3\r\n", offsetof(TLX_DISCOVERED_BASE, compatibility), -3},
      {"Ravix_Test: 0x10 \t 017\r\n", offsetof(TLX_DISCOVERED_BASE, testFirst), 16},
      {"Ravix_Test: 0x10 \t 017\r\n", offsetof(TLX_DISCOVERED_BASE, testSecond), 15},
      {"Ravix_Test: 7\r\n", offsetof(TLX_DISCOVERED_BASE, testSecond), 0},
      {"DDNS_Enable: 0x10\r\n", offsetof(TLX_DISCOVERED_BASE, ddnsEnable), 0},
  };
  for (const Case& c : cases) {
    TLX_DISCOVERED_BASE base;
    ASSERT_TRUE(tlxDiscoveryParseNotify(Notify(c.extra), &base)) << c.extra;
    int32_t value;
    std::memcpy(&value, reinterpret_cast<const char*>(&base) + c.offset, sizeof value);
    EXPECT_EQ(value, c.value) << c.extra;
  }
  struct Mode {
    const char* text;
    int32_t mode;
  };
  for (const Mode& m : {Mode{"normal", 0}, Mode{"Registration", 1}, Mode{"setup", 2}, Mode{"SETUP2", 3}, Mode{"", 3}}) {
    std::string text = Notify("");
    text.replace(text.find("NORMAL"), 6, m.text);
    TLX_DISCOVERED_BASE base;
    ASSERT_TRUE(tlxDiscoveryParseNotify(text, &base));
    EXPECT_EQ(base.mode, m.mode) << m.text;
  }
}

TEST(DiscoveryText, OverlongValuesAreCutToTheirFields) {
  const std::string longText(100, 'v');
  std::string text = "NOTIFY Telvara_BaseStation\r\n";
  for (const char* name : {"Version", "SoftVersion", "Ravix_Host", "Identifier", "Model", "Nonce", "URL", "Nickname"}) {
    text += std::string(name) + ": " + longText + "\r\n";
  }
  text += "Ravix_Port: 1\r\nBaseStation_Mode: setup\r\n";
  TLX_DISCOVERED_BASE base;
  ASSERT_TRUE(tlxDiscoveryParseNotify(text, &base));
  EXPECT_EQ(std::strlen(base.version), 7u);
  EXPECT_EQ(std::strlen(base.softVersion), 7u);
  EXPECT_EQ(std::strlen(base.ravixHost), 51u);
  EXPECT_EQ(std::strlen(base.identifier), 31u);
  EXPECT_EQ(std::strlen(base.model), 23u);
  EXPECT_EQ(std::string(base.nonce, 32), longText.substr(0, 32));
  EXPECT_EQ(base.reserved, 0);
  EXPECT_EQ(std::strlen(base.url), 63u);
  EXPECT_EQ(std::strlen(base.nickname), 31u);
  EXPECT_EQ(base.mode, 2);
}

TEST(DiscoveryText, IncompleteOrForeignRepliesAreRefused) {
  TLX_DISCOVERED_BASE base;
  std::string noNonce = Notify("");
  noNonce.erase(noNonce.find("Nonce"));
  const std::string cases[] = {
      noNonce,
      noNonce + "Version: 1.3\r\n",                    // seven counted lines, one of them twice
      Notify("Model: again\r\n"),                      // an eighth counted line
      "NOTIFY Telvara_Other" + Notify("").substr(26),  // another first line
      "notify Telvara_BaseStation" + Notify("").substr(26),
      "SEARCH Telvara_BaseStation\r\n",
      "",
  };
  for (const std::string& text : cases) EXPECT_FALSE(tlxDiscoveryParseNotify(text, &base)) << text;
  // Without SoftVersion and the optional lines the reply is complete.
  ASSERT_TRUE(tlxDiscoveryParseNotify(Notify(""), &base));
  EXPECT_STREQ(base.softVersion, "");
}

TEST(DiscoveryText, AFullDatagramIsReadWithinItsBounds) {
  // 1024 bytes without a line end or NUL, read from a buffer that ends
  // exactly there: an over-read would show under the address sanitizer.
  std::string text = Notify("Nickname: ");
  text.resize(kDiscoveryNotifyMax, 'n');
  std::vector<char> exact(text.begin(), text.end());
  TLX_DISCOVERED_BASE base;
  ASSERT_TRUE(tlxDiscoveryParseNotify(std::string_view(exact.data(), exact.size()), &base));
  EXPECT_EQ(std::strlen(base.nickname), 31u);
  // Bytes past 1024 are not read.
  EXPECT_TRUE(tlxDiscoveryParseNotify(text + "Model: eighth\r\n", &base));
}

TEST(DiscoveryIfaces, OnlyUpLocalBroadcastInterfacesGiveTheirDirectedBroadcasts) {
  const unsigned usable = IFF_UP | IFF_BROADCAST;
  const std::vector<TlxIfaceInfo> list = {
      {Ip(127, 0, 0, 1), Ip(255, 0, 0, 0), usable},
      {Ip(8, 8, 4, 4), Ip(255, 255, 255, 0), usable},
      {Ip(10, 1, 2, 3), Ip(255, 0, 0, 0), usable},
      {Ip(172, 20, 5, 6), Ip(255, 255, 0, 0), usable},
      {Ip(172, 32, 0, 1), Ip(255, 255, 0, 0), usable},  // outside 172.16/12
      {Ip(192, 168, 1, 20), Ip(255, 255, 255, 0), usable},
      {Ip(192, 168, 2, 20), Ip(255, 255, 255, 0), IFF_BROADCAST},          // down
      {Ip(192, 168, 3, 20), Ip(255, 255, 255, 0), IFF_UP},                 // no broadcast
      {Ip(192, 168, 4, 20), Ip(255, 255, 255, 0), usable | IFF_LOOPBACK},  // loopback
      {Ip(0, 0, 0, 0), Ip(0, 0, 0, 0), usable},
  };
  EXPECT_EQ(tlxDiscoveryBroadcasts(list, {}),
            (std::vector<uint32_t>{Ip(10, 255, 255, 255), Ip(172, 20, 255, 255), Ip(192, 168, 1, 255)}));
  EXPECT_TRUE(tlxDiscoveryBroadcasts({list[0], list[1]}, {}).empty()) << "only loopback and a public address";

  // An extra range makes the test's loopback interface local.
  const std::vector<TlxIfaceInfo> loopback = {{Ip(127, 0, 0, 2), Ip(255, 0, 0, 0), usable}};
  EXPECT_TRUE(tlxDiscoveryBroadcasts(loopback, {}).empty());
  EXPECT_EQ(tlxDiscoveryBroadcasts(loopback, {{Ip(127, 0, 0, 0), Ip(255, 0, 0, 0)}}),
            std::vector<uint32_t>{Ip(127, 255, 255, 255)});
  EXPECT_TRUE(tlxDiscoveryBroadcasts(list, {{Ip(8, 8, 0, 0), Ip(255, 255, 0, 0)}}).size() == 4);

  std::vector<TlxIfaceInfo> many;
  for (int i = 0; i < 17; ++i) many.push_back({Ip(10, 0, i, 1), Ip(255, 255, 255, 0), usable});
  const std::vector<uint32_t> cut = tlxDiscoveryBroadcasts(many, {});
  ASSERT_EQ(cut.size(), static_cast<size_t>(kDiscoveryIfaceMax));
  EXPECT_EQ(cut.back(), Ip(10, 0, 15, 255));
}

TEST(DiscoveryIfaces, InjectedListsParseOrAreRefusedWhole) {
  std::vector<TlxIfaceInfo> interfaces;
  ASSERT_TRUE(tlxParseDiscoveryInterfaces("127.0.0.2/8, 192.168.1.5/24", &interfaces));
  ASSERT_EQ(interfaces.size(), 2u);
  EXPECT_EQ(interfaces[0].address, Ip(127, 0, 0, 2));
  EXPECT_EQ(interfaces[0].mask, Ip(255, 0, 0, 0));
  EXPECT_EQ(interfaces[0].flags, static_cast<unsigned>(IFF_UP | IFF_BROADCAST));
  EXPECT_EQ(interfaces[1].mask, Ip(255, 255, 255, 0));
  std::vector<TlxAddressRange> ranges;
  ASSERT_TRUE(tlxParseDiscoveryRanges("127.1.2.3/8", &ranges));
  ASSERT_EQ(ranges.size(), 1u);
  EXPECT_EQ(ranges[0].address, Ip(127, 0, 0, 0));
  ASSERT_TRUE(tlxParseDiscoveryRanges("0.0.0.0/0", &ranges));
  EXPECT_EQ(ranges[0].mask, 0u);
  for (const char* bad : {"", "127.0.0.2", "127.0.0.2/33", "127.0.0.2/8,", "host/8", "1.2.3.4/-1", "1.2.3.4/8x"}) {
    std::vector<TlxIfaceInfo> kept = interfaces;
    EXPECT_FALSE(tlxParseDiscoveryInterfaces(bad, &kept)) << bad;
    EXPECT_EQ(kept.size(), 2u) << bad;
  }
}

TEST(DiscoveryIfaces, TheEnvironmentStandsInForTheMachinesList) {
  unsetenv("TLX_DISCOVERY_IFACES");
  unsetenv("TLX_DISCOVERY_RANGES");
  // The machine's own list holds the loopback interface, which is never used.
  const std::vector<TlxIfaceInfo> machine = tlxDiscoveryInterfaces();
  EXPECT_TRUE(std::any_of(machine.begin(), machine.end(), [](const TlxIfaceInfo& entry) {
    return entry.address == Ip(127, 0, 0, 1) && (entry.flags & IFF_LOOPBACK) != 0;
  }));
  EXPECT_TRUE(tlxDiscoveryExtraRanges().empty());

  setenv("TLX_DISCOVERY_IFACES", "127.0.0.2/8", 1);
  setenv("TLX_DISCOVERY_RANGES", "127.0.0.0/8", 1);
  EXPECT_EQ(tlxDiscoveryBroadcasts(tlxDiscoveryInterfaces(), tlxDiscoveryExtraRanges()),
            std::vector<uint32_t>{Ip(127, 255, 255, 255)});
  // A test's source comes first; text that does not parse is ignored.
  tlxSetDiscoveryInterfaceSource([] { return std::vector<TlxIfaceInfo>{}; }, {});
  EXPECT_TRUE(tlxDiscoveryInterfaces().empty());
  EXPECT_EQ(tlxDiscoveryExtraRanges().size(), 1u);
  tlxSetDiscoveryInterfaceSource({}, {});
  setenv("TLX_DISCOVERY_RANGES", "127.0.0.0", 1);
  EXPECT_TRUE(tlxDiscoveryExtraRanges().empty());
  unsetenv("TLX_DISCOVERY_IFACES");
  unsetenv("TLX_DISCOVERY_RANGES");
}

TEST(IdentityFormat, TextsBinaryAndTheEditionLetter) {
  struct Case {
    int id;
    std::string value;
    int size;
    int result;
    const char* text;
  };
  const Case cases[] = {
      {4100, "QZA-K20US", 24, 0, "QZA-K20US"},
      {4100, "AB1PC", 24, 0, "AB1C"},
      {4100, "AB1P", 24, 0, "AB1"},
      {6048, "X9B2PZ", 24, 0, "X9B2Z"},
      {4099, "AB1P", 24, 0, "AB1P"},  // a plain text keeps its letters
      {4100, "ABCDEFG", 8, 0, "ABCDEFG"},
      {4100, "ABCDEFGH", 8, -1, ""},  // no room for the NUL
      {0, std::string("\x00\x1b\xa0\xff", 4), 9, 0, "001BA0FF"},
      {0, std::string("\x00\x1b\xa0\xff", 4), 8, -1, ""},
  };
  for (const Case& c : cases) {
    std::vector<char> buffer(static_cast<size_t>(c.size), '\0');
    EXPECT_EQ(tlxIdentityFormat(c.id, reinterpret_cast<const uint8_t*>(c.value.data()),
                                static_cast<int>(c.value.size()), c.size, buffer.data()),
              c.result)
        << c.value;
    if (c.result == 0) EXPECT_STREQ(buffer.data(), c.text) << c.value;
  }
}

}  // namespace
}  // namespace tlx::link

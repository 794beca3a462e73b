// The configuration store over the registry store of a test folder.
#include "link/config/tlx_cfg.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "link/os/event_mgr.h"
#include "link_env_support.h"
#include "link_test_support.h"
#include "support/child_process.h"
#include "win32/modules.h"

namespace tlx::link {
namespace {

using test::DeleteTree;
using test::kTlxKey;
using test::ReadText;
using test::WriteText;
using tlx::test::ChildProcess;
using tlx::test::TempFolder;

constexpr uint32_t kUs = 0x300;
const std::string kUsRoot = std::string(kTlxKey) + "\\QZM-K3US";

// Each test starts the store on an empty registry and ends it.
class CfgTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { test::UseTestEnvironment(); }
  void SetUp() override {
    DeleteTree(kTlxKey);
    ASSERT_EQ(0, tlxInitConfig(kUs));
  }
  void TearDown() override { tlxCleanupConfig(); }
};

TEST_F(CfgTest, KeysLandInTheirScopes) {
  const struct {
    const char* key;
    const char* subKey;
    const char* name;
  } cases[] = {
      {"wlan/STA/0/RF/band", "set0\\wlan\\STA\\0\\RF", "band"},
      {"network/ravix/port", "common\\network\\ravix", "port"},
      {"def/x/y", "def\\x", "y"},
      {"a//b/c", "common\\a\\b", "c"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.key);
    tlxCfgSet(c.key, "value 1");
    EXPECT_EQ("value 1", ReadText(kUsRoot + "\\" + c.subKey, c.name));
    EXPECT_EQ("value 1", tlxCfgGet(c.key));
    tlxCfgDelete(c.key);
    EXPECT_EQ("<missing>", ReadText(kUsRoot + "\\" + c.subKey, c.name));
    EXPECT_EQ("", tlxCfgGet(c.key));
  }
  // Value names compare without regard to case.
  tlxCfgSet("network/ravix/useravix", "0");
  EXPECT_EQ("0", tlxCfgGet("network/ravix/useRavix"));
}

TEST_F(CfgTest, FixedKeysIgnoreWrites) {
  tlxCfgSet("network/conntype", "X");
  tlxCfgSet("tvconf/lastch", "12");
  EXPECT_EQ("EtherS", tlxCfgGet("network/conntype"));
  EXPECT_EQ("", tlxCfgGet("tvconf/lastch"));
  EXPECT_EQ("127.0.0.1", tlxCfgGet("network/ether/IPaddress"));
  EXPECT_EQ("<missing>", ReadText(kUsRoot + "\\common\\tvconf", "lastch"));
  // The address copies: the base's direct-link address is fixed empty.
  EXPECT_EQ("", tlxCfgBaseDirectAddress());
  EXPECT_EQ("127.0.0.1", tlxCfgPlayerDirectAddress());
}

TEST_F(CfgTest, DefaultsAreWrittenOnlyWhenEmpty) {
  EXPECT_EQ("5021", ReadText(kUsRoot + "\\common\\network\\ravix", "port"));
  EXPECT_EQ("1", tlxCfgGet("network/ravix/useRavix"));
  EXPECT_EQ("", ReadText(kUsRoot + "\\common\\network\\ravix", "hostname"));
  tlxCleanupConfig();
  WriteText(kUsRoot + "\\common\\network\\ravix", "port", "6100");
  WriteText(kUsRoot + "\\common\\network\\ravix", "useRavix", "0");
  ASSERT_EQ(0, tlxInitConfig(kUs));
  EXPECT_EQ("6100", tlxCfgGet("network/ravix/port"));
  EXPECT_EQ("0", tlxCfgGet("network/ravix/useRavix"));
}

TEST_F(CfgTest, TheOptionWordChoosesTheModelNamesAndTheRoot) {
  const struct {
    uint32_t option;
    const char* str;
    const char* reg;
    const char* rcom;
  } cases[] = {
      {0x301, "QZM-K3JP", "QZA-K20JP", "JP"}, {0x302, "QZM-K3TW", "QZA-K20TW", "TW"},
      {0x303, "QZM-K3KR", "QZA-K20KR", "KR"}, {0x310, "QZM-K3EU", "QZA-K20EU", "EU"},
      {0x312, "QZM-K3EU", "QZA-K20EU", "EU"}, {0x315, "QZM-K3EU", "QZA-K20EU", "EU"},
      {0x300, "QZM-K3US", "QZA-K20US", "US"}, {0x316, "QZM-K3US", "QZA-K20US", "US"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.option);
    tlxCleanupConfig();
    ASSERT_EQ(0, tlxInitConfig(c.option));
    EXPECT_EQ(c.str, tlxCfgGet("tlx/modelname_str"));
    EXPECT_EQ(c.reg, tlxCfgGet("tlx/modelname_reg"));
    EXPECT_EQ(c.rcom, tlxCfgGet("tlx/modelname_rcom"));
    tlxCfgSet("network/ravix/hostname", c.str);
    EXPECT_EQ(c.str, ReadText(std::string(kTlxKey) + "\\" + c.str + "\\common\\network\\ravix", "hostname"));
  }
}

TEST_F(CfgTest, CategoryFilesSetRunTimeValues) {
  TempFolder folder;
  const std::string longLine = std::string(150, 'n') + "=" + std::string(49, 'v');
  const struct {
    const char* name;
    std::string text;
    std::vector<std::pair<std::string, std::string>> expected;  // key, value ("" when not set)
  } cases[] = {
      {"lf", "lf/a=1\nlf/b=2\n", {{"lf/a", "1"}, {"lf/b", "2"}}},
      {"cr", "cr/a=1\rcr/b=2\r", {{"cr/a", "1"}, {"cr/b", "2"}}},
      {"crlf", "crlf/a=1\r\ncrlf/b=2\r\n", {{"crlf/a", "1"}, {"crlf/b", "2"}}},
      {"last", "last/a=1\nlast/b=2", {{"last/a", "1"}, {"last/b", ""}}},
      {"equals", "eq/a=b=c\n", {{"eq/a", "b=c"}}},
      {"no equals", "plain\nne/a=1\n", {{"plain", ""}, {"ne/a", "1"}}},
      {"long", longLine + "\nlong/a=1\n", {{std::string(150, 'n'), ""}, {std::string(23, 'n'), ""}, {"long/a", "1"}}},
      {"limit", std::string(120, 'k') + "=123456\n", {{std::string(120, 'k'), "123456"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = (folder.path() / c.name).string();
    std::ofstream(path, std::ios::binary) << c.text;
    EXPECT_EQ(0, tlxCfgLoadCategory(path.c_str(), 0));
    for (const auto& [key, value] : c.expected) EXPECT_EQ(value, tlxCfgGet(key.c_str())) << key;
  }
  // A run-time value is written in memory only.
  tlxCfgSet("lf/a", "3");
  EXPECT_EQ("3", tlxCfgGet("lf/a"));
  EXPECT_EQ("<missing>", ReadText(kUsRoot + "\\common\\lf", "a"));
  EXPECT_EQ(-1, tlxCfgLoadCategory("", 0));
  EXPECT_EQ(0, tlxCfgLoadCategory((folder.path() / "missing.cfg").c_str(), 0));
}

TEST_F(CfgTest, RelativeCategoryFilesAreReadBelowTheModuleFolder) {
  const std::string self = win32::ExecutablePath();
  EXPECT_EQ(self.substr(0, self.rfind('/') + 1), tlxCfgGet("module_path"));
  // A file of that name in the current directory is not read.
  TempFolder folder;
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(folder.path());
  std::ofstream("link_cfg_stray.cfg") << "stray/a=1\n";
  EXPECT_EQ(0, tlxCfgLoadCategory("link_cfg_stray.cfg", 0));
  std::filesystem::current_path(previous);
  EXPECT_EQ("", tlxCfgGet("stray/a"));
}

TEST_F(CfgTest, ValuesOfOtherTypesReadBounded) {
  const std::string path = kUsRoot + "\\common\\other";
  const uint32_t word = 0x00434241;  // "ABC" and a NUL
  test::WriteValue(path, "dword", REG_DWORD, &word, sizeof word);
  const uint32_t full = 0x44434241;  // "ABCD", no NUL
  test::WriteValue(path, "dword4", REG_DWORD, &full, sizeof full);
  test::WriteValue(path, "sz", REG_SZ, "text", 4);
  test::WriteValue(path, "empty", REG_SZ, "", 0);
  EXPECT_EQ("ABC", tlxCfgGet("other/dword"));
  EXPECT_EQ("ABCD", tlxCfgGet("other/dword4"));
  EXPECT_EQ("text", tlxCfgGet("other/sz"));
  EXPECT_EQ("", tlxCfgGet("other/empty"));
}

TEST_F(CfgTest, ClearConfigDeletesTheBaseKeys) {
  WriteText(kUsRoot + "\\set0\\network\\etherav", "ipaddr", "127.0.0.5");
  tlxCfgSet("network/ravix/hostname", "base.test");
  tlxCfgSet("network/ravix/useravix", "1");
  tlxCfgSet("network/ravix/other", "kept");
  EXPECT_EQ(0, tlxSystem_ClearConfig());
  EXPECT_EQ("<missing>", ReadText(kUsRoot + "\\set0\\network\\etherav", "ipaddr"));
  for (const char* name : {"port", "useRavix", "hostname"}) {
    EXPECT_EQ("<missing>", ReadText(kUsRoot + "\\common\\network\\ravix", name)) << name;
  }
  EXPECT_EQ("kept", tlxCfgGet("network/ravix/other"));
  EXPECT_EQ(0, tlxSystem_GetBaseSel());
}

TEST_F(CfgTest, AScopedKeyLongerThan79CharactersIsRefused) {
  const std::string fits = std::string(40, 'a') + "/" + std::string(31, 'b');  // "common/" + 72 = 79
  const std::string tooLong = fits + "c";
  std::string scoped;
  EXPECT_TRUE(tlxCfgScopedKey(fits.c_str(), &scoped));
  EXPECT_EQ("common/" + fits, scoped);
  EXPECT_FALSE(tlxCfgScopedKey(tooLong.c_str(), &scoped));
  tlxCfgSet(fits.c_str(), "1");
  tlxCfgSet(tooLong.c_str(), "2");
  EXPECT_EQ("1", tlxCfgGet(fits.c_str()));
  EXPECT_EQ("", tlxCfgGet(tooLong.c_str()));
  EXPECT_EQ("<missing>", ReadText(kUsRoot + "\\common\\" + std::string(40, 'a'), (std::string(31, 'b') + "c").c_str()));
}

TEST_F(CfgTest, CopyFileOverwritesAndLeavesTheCopyWritable) {
  TempFolder folder;
  const std::string from = (folder.path() / "from.cfg").string();
  const std::string to = (folder.path() / "to.cfg").string();
  std::ofstream(from) << "a=1\n";
  std::ofstream(to) << "old contents\n";
  std::filesystem::permissions(from, std::filesystem::perms::owner_read);
  std::string windowsTo = to;
  std::replace(windowsTo.begin(), windowsTo.end(), '/', '\\');
  EXPECT_EQ(0, tlxCfgCopyFile(from.c_str(), windowsTo.c_str()));
  std::ifstream copy(to);
  EXPECT_EQ("a=1\n", std::string(std::istreambuf_iterator<char>(copy), {}));
  EXPECT_NE(std::filesystem::perms::none, std::filesystem::status(to).permissions() & std::filesystem::perms::owner_write);
  EXPECT_EQ(-1, tlxCfgCopyFile((folder.path() / "missing").c_str(), to.c_str()));
}

TEST_F(CfgTest, EightThreadsSetAndGet) {
  std::atomic<int> mismatches{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([t, &mismatches] {
      const std::string key = "threads/t" + std::to_string(t);
      for (int i = 0; i < 10; ++i) {
        const std::string value = std::to_string(i);
        tlxCfgSet(key.c_str(), value.c_str());
        if (tlxCfgGet(key.c_str()) != value) ++mismatches;
        if (tlxCfgGet("network/conntype") != "EtherS") ++mismatches;
        tlxCfgSet("tlx/modelname_rcom", "US");  // a run-time value, shared by all
        if (tlxCfgGet("tlx/modelname_rcom") != "US") ++mismatches;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(0, mismatches.load());
}

TEST_F(CfgTest, AValueSetByOneProcessIsReadByAnother) {
  {
    ChildProcess child("link_cfg_helper", {"0x300", "set", "network/ravix/hostname", "from.child"});
    EXPECT_EQ("ok", child.ReadLine());
    EXPECT_EQ(0, child.Wait());
  }
  EXPECT_EQ("from.child", tlxCfgGet("network/ravix/hostname"));
  tlxCfgSet("network/ravix/port", "6200");
  ChildProcess child("link_cfg_helper", {"0x300", "get", "network/ravix/port"});
  EXPECT_EQ("6200", child.ReadLine());
  EXPECT_EQ(0, child.Wait());
}

class CfgEventTest : public link::test::LinkTest {
 protected:
  static void SetUpTestSuite() { test::UseTestEnvironment(); }
};

std::mutex eventLock;
std::vector<TLX_EVENT_MSG> events;

void Keep(void*, const TLX_EVENT_MSG* message) {
  std::lock_guard guard(eventLock);
  events.push_back(*message);
}

TEST_F(CfgEventTest, NotifyIndexPostsTheNetworkConfigurationEvent) {
  ASSERT_EQ(0, eventMgrStart());
  ASSERT_EQ(0, eventMgrCallbackAttach(Keep, nullptr, EVENT_ID_NETCONFIG));
  tlxCfgNotifyIndex(0);
  for (int i = 0; i < 1000; ++i) {
    {
      std::lock_guard guard(eventLock);
      if (!events.empty()) break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  EXPECT_EQ(0, eventMgrCallbackDetach(Keep));
  EXPECT_EQ(0, eventMgrStop());
  std::lock_guard guard(eventLock);
  ASSERT_EQ(1u, events.size());
  EXPECT_EQ(EVENT_ID_NETCONFIG, events[0].eventId);
  EXPECT_EQ(8u, events[0].length);
  EXPECT_EQ(std::vector<uint8_t>(8, 0), std::vector<uint8_t>(events[0].payload, events[0].payload + 8));
}

}  // namespace
}  // namespace tlx::link

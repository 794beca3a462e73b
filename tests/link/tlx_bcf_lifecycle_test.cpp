// The library's start-up and clean-up, and the exports that reach its
// managers, called as a program links them: tlxInit and tlxCleanup by
// reference count, the mailslot's commands reaching the exports, and the
// thin exports' own rules. The link goes to the stand-in of the link module.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "export_test_support.h"
#include "link/tlx_bcf.h"
#include "link_env_support.h"
#include "win32/mailslot.h"
#include "win32/synch.h"

namespace {

using namespace std::chrono_literals;
using tlx::link::test::Comparator;
using tlx::link::test::Threads;
using tlx::link::test::ThreadsBackTo;

class LibraryTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    tlx::link::test::UseTestEnvironment();
    setenv("TLX_VEXLINK_MODULE", "VexlinkStub.dll", 1);
    comparator();
    std::thread([] {}).join();  // a sanitizer's helper thread starts with the first thread
  }
  void SetUp() override {
    tlx::link::test::DeleteTree(tlx::link::test::kTlxKey);
    threadsBefore_ = Threads();
  }
  void TearDown() override {
    while (Running()) tlxCleanup();
    EXPECT_TRUE(ThreadsBackTo(threadsBefore_)) << "a thread outlived the library";
  }

  static Comparator& comparator() {
    static Comparator c;
    return c;
  }
  // The event manager takes receivers only while the library runs.
  static bool Running() {
    const TLX_EVENT_CALLBACK probe = [](void*, const TLX_EVENT_MSG*) {};
    if (tlxEventMgrCallbackAttach(probe, nullptr, EVENT_ID_TV) != 0) return false;
    tlxEventMgrCallbackDetach(probe);
    return true;
  }
  static void WriteCommand(const std::string& text) {
    HANDLE writer = CreateFileA("\\\\.\\mailslot\\TlxMessageCommand-tx", GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(writer, text.data(), static_cast<DWORD>(text.size()), &written, nullptr));
    CloseHandle(writer);
  }

  int threadsBefore_ = 0;
};

TEST_F(LibraryTest, TheLastCleanupStopsWhatTheFirstInitStarted) {
  EXPECT_EQ(tlxCleanup(), 0) << "without tlxInit";
  EXPECT_FALSE(Running());
  EXPECT_EQ(Threads(), threadsBefore_);

  ASSERT_EQ(tlxInit(nullptr), 0);
  const int threadsRunning = Threads();
  EXPECT_GT(threadsRunning, threadsBefore_);
  EXPECT_TRUE(Running());
  ASSERT_EQ(tlxInit(nullptr), 0);
  EXPECT_EQ(Threads(), threadsRunning) << "a second start only counts";
  EXPECT_EQ(tlxCleanup(), 0);
  EXPECT_TRUE(Running()) << "one start is still counted";
  EXPECT_EQ(tlxCleanup(), 0);
  EXPECT_FALSE(Running());
  EXPECT_TRUE(ThreadsBackTo(threadsBefore_));
  EXPECT_EQ(tlxCleanup(), 0) << "again";
}

TEST_F(LibraryTest, WithoutTheLinkModuleNothingStarts) {
  setenv("TLX_VEXLINK_MODULE", "NoSuchLink.dll", 1);
  EXPECT_EQ(tlxInit(nullptr), -1);
  setenv("TLX_VEXLINK_MODULE", "VexlinkStub.dll", 1);
  EXPECT_FALSE(Running());
  EXPECT_EQ(Threads(), threadsBefore_);
  EXPECT_EQ(tlxCleanup(), 0);
  // Nothing was counted: one start and one clean-up stop it again.
  ASSERT_EQ(tlxInit(nullptr), 0);
  EXPECT_EQ(tlxCleanup(), 0);
  EXPECT_FALSE(Running());
}

TEST_F(LibraryTest, FiftyCyclesLeaveNoThread) {
  for (int i = 0; i < 50; ++i) {
    ASSERT_EQ(tlxInit(nullptr), 0);
    ASSERT_EQ(tlxCleanup(), 0);
  }
  EXPECT_TRUE(ThreadsBackTo(threadsBefore_));
}

TEST_F(LibraryTest, TwoThreadsStartingTogetherStartOnce) {
  int results[2] = {-2, -2};
  std::thread first([&] { results[0] = tlxInit(nullptr); });
  std::thread second([&] { results[1] = tlxInit(nullptr); });
  first.join();
  second.join();
  EXPECT_EQ(results[0], 0);
  EXPECT_EQ(results[1], 0);
  EXPECT_EQ(tlxCleanup(), 0);
  EXPECT_TRUE(Running());
  EXPECT_EQ(tlxCleanup(), 0);
  EXPECT_FALSE(Running());
}

TEST_F(LibraryTest, TheFirstStartTakesTheRegionOfTheOptionWord) {
  struct Case {
    int option;
    const char* model;
    int connectable;
  };
  for (const Case& c : {Case{0, "HX-Z1US", 0}, Case{1, "HX-Z1US", -1}, Case{1, "HX-Z1JP", 0}, Case{0, "US", 0},
                        Case{0, "S", -1}, Case{0, "", -1}, Case{3, "", -1}, Case{0x12, "HX-Z1EU", 0},
                        Case{0x12, "HX-Z1US", -1}, Case{4, "HX-Z1US", -1}, Case{0x16, "HX-Z1EU", -1}}) {
    int option = c.option;
    ASSERT_EQ(tlxInit(&option), 0);
    int other = 1;
    ASSERT_EQ(tlxInit(&other), 0);
    EXPECT_EQ(tlxRegist_IsConnectableModel(c.model), c.connectable) << c.option << " " << c.model;
    tlxCleanup();
    tlxCleanup();
  }
  int us = 0;
  ASSERT_EQ(tlxInit(&us), 0);
  tlxCleanup();
}

// The mailslot's commands reach the exports: a remote key is mirrored by the
// send export before it is sent.
TEST_F(LibraryTest, MailslotCommandsReachTheExports) {
  ASSERT_EQ(tlxInit(nullptr), 0);
  WriteCommand("RMCON:1,AQIDBAU=");
  EXPECT_TRUE(comparator().WaitFor("cmdid=1\ndata=0102030405\n"));
  WriteCommand("RMCON:2");
  EXPECT_TRUE(comparator().WaitFor("cmdid=2\ndata=\n"));
  const char code[] = {0x11, 0x22};
  EXPECT_EQ(tlxUiRcomMgr_SendCommand(6, code, 2), 0) << "too short to press: nothing sent";
  EXPECT_TRUE(comparator().WaitFor("cmdid=6\ndata=1122\n"));
  const unsigned char plain[] = {0xAB};
  tlxUiRcomMgrSend(plain, 1);
  EXPECT_TRUE(comparator().WaitFor("cmdid=1\ndata=ab\n"));
}

TEST_F(LibraryTest, ASlotOwnedElsewhereLeavesTheLibraryRunning) {
  HANDLE owned = CreateMailslotA("\\\\.\\mailslot\\TlxMessageCommand-tx", 0, 0, nullptr);
  ASSERT_NE(owned, INVALID_HANDLE_VALUE);
  EXPECT_EQ(tlxInit(nullptr), 0);
  EXPECT_TRUE(Running());
  EXPECT_EQ(tlxCleanup(), 0);
  CloseHandle(owned);
}

// The rules the exports apply before or around their manager.
TEST_F(LibraryTest, ThinExportsKeepTheirOwnRules) {
  ASSERT_EQ(tlxInit(nullptr), 0);
  int answer = -5;
  EXPECT_EQ(tlxRavixMgr_SetBitrate(0, &answer), -1);
  EXPECT_EQ(tlxRavixMgr_SetBitrate(5008, &answer), -1);
  EXPECT_EQ(answer, -5) << "a refused setting leaves the answer untouched";
  EXPECT_EQ(tlxRavixMgr_SetBitrate(1, &answer), 0);
  EXPECT_TRUE(answer == 0 || answer == 1);
  EXPECT_EQ(tlxRavixMgr_SetBitrate(5007, nullptr), 0);
  EXPECT_EQ(tlxRavixMgr_GetBitrate(), 5007);
  EXPECT_EQ(tlxRavixMgr_SetTimeout(7201), -1);
  EXPECT_EQ(tlxRavixMgr_SetTimeout(7200), 0);
  EXPECT_EQ(tlxRavixMgr_GetTimeout(), 7200);

  TLX_BASE_INFO info;
  std::memset(&info, 0x5A, sizeof info);
  EXPECT_EQ(tlxRavixMgr_GetState(), 0);
  EXPECT_EQ(tlxRavixMgr_GetBaseInfo(&info), -1) << "no session";
  EXPECT_EQ(info.type3, 0x5A5A5A5A);
  EXPECT_EQ(tlxRavixMgr_GetBaseInfo(nullptr), -1);

  std::vector<uint8_t> out(500, 0xAA);
  EXPECT_EQ(tlxAnetMgrAPI_GetConfig(1, 13, out.data()), 6) << "no base to ask";
  EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 438), std::vector<uint8_t>(438, 0));
  EXPECT_EQ(out[438], 0xAA);
  EXPECT_EQ(tlxAnetMgrAPI_GetConfig(1, 13, nullptr), 6);

  EXPECT_EQ(tlxUiRcomMgr_SetConfig(nullptr), -1);
  UIRCOM_CONFIG config{};
  config.input = 1;
  EXPECT_EQ(tlxUiRcomMgr_SetConfig(&config), -1) << "no playing session";
  char key[32];
  EXPECT_EQ(tlxUiRcomMgr_GetParameter(4097, key, sizeof key), 0);
  EXPECT_EQ(tlxUiRcomMgr_GetParameter(4097, key, 3), -1);
  EXPECT_EQ(tlxUiRcomMgr_GetParameter(1, key, sizeof key), -1);
  EXPECT_EQ(tlxUiRcomMgr_StartCapture(), 3) << "no playing session";

  unsigned result[TLX_AUTOPRESET_RESULT_SIZE / sizeof(unsigned) + 1];
  EXPECT_EQ(tlxTvMgr_GetAutoPresetResult(2, result), -1) << "no result yet";
  EXPECT_EQ(tlxTvMgr_GetAutoPresetResult(2, nullptr), -1);
  EXPECT_EQ(tlxTvMgr_Select(5, 0), -1) << "no such input";
}

// The base of a session as the authentication library reports it: a type
// outside 0..2 streams as type 3, and a codec of 0 follows the type.
TEST_F(LibraryTest, TheSessionsBaseFromTheAuthenticationLibrary) {
  const auto setBase = tlx::link::test::StubEntry<void (*)(int, uint32_t, int)>("libTlxAuthStub.so", "StubAuthSetBase");
  ASSERT_NE(setBase, nullptr);
  ASSERT_EQ(tlxInit(nullptr), 0);
  ASSERT_EQ(tlxRavixMgr_ChangeState(2), 0) << "as the stream engine does: no connect";
  struct Case {
    int type;
    uint32_t codec;
    int scaling;
    int type3;
    int codecOut;
  };
  for (const Case& c : {Case{0, 0, 0, 0, 1}, Case{2, 0, 1, 0, 1}, Case{3, 0, 2, 1, 3}, Case{-1, 0, 0, 1, 3},
                        Case{1, 4, 3, 0, 4}, Case{3, 5, 0, 1, 5}}) {
    setBase(c.type, c.codec, c.scaling);
    TLX_BASE_INFO info;
    std::memset(&info, 0x5A, sizeof info);
    ASSERT_EQ(tlxRavixMgr_GetBaseInfo(&info), 0);
    EXPECT_STREQ(info.baseId, "BASE-0042");
    EXPECT_EQ(info.type3, c.type3) << c.type;
    EXPECT_EQ(info.codec, c.codecOut) << c.type << " " << c.codec;
    EXPECT_EQ(info.scaling, c.scaling);
    EXPECT_EQ(std::string(info.baseId + 10, info.baseId + 32), std::string(22, '\0')) << "the record is zeroed first";
  }
  setBase(7, 0xC0DE, 9);
  EXPECT_EQ(tlxRavixMgr_ChangeState(0), 0);
}

// A process that ends with the library running shuts it down once on the way
// out.
TEST_F(LibraryTest, EndingTheProcessWhileRunningShutsDown) {
  testing::FLAGS_gtest_death_test_style = "threadsafe";
  EXPECT_EXIT(
      {
        tlxInit(nullptr);
        tlxInit(nullptr);
        std::exit(Running() ? 7 : 1);
      },
      testing::ExitedWithCode(7), "");
}

// The internet link's record sets the authentication target: the stand-in
// authentication library sees its host and port.
TEST_F(LibraryTest, TheInternetLinkRecordSetsTheAuthenticationTarget) {
  const auto take = tlx::link::test::StubEntry<void (*)(char*, int)>("libTlxAuthStub.so", "StubAuthTakeCalls");
  ASSERT_NE(take, nullptr);
  auto calls = [&] {
    char text[1024] = {};
    take(text, sizeof text);
    return std::string(text);
  };
  ASSERT_EQ(tlxInit(nullptr), 0);
  uint8_t record[68] = {};
  const uint16_t kind = 49;
  std::memcpy(record, &kind, sizeof kind);
  std::memcpy(record + 4, "5021", 4);
  std::memcpy(record + 16, "base.example.test", 17);
  EXPECT_EQ(tlxAnetMgrAPI_SetConfig(2, 6, record), 1);
  calls();
  tlxAuth_RequestRegistration("1234", "alias");
  EXPECT_EQ(calls(), "Registration 1234 alias base.example.test 5021 0 0\n");

  std::memset(record + 16, 'h', 52);  // a host filling its field, no NUL
  EXPECT_EQ(tlxAnetMgrAPI_SetConfig(2, 6, record), 1);
  tlxAuth_RequestRegistration("1234", "alias");
  EXPECT_EQ(calls(), "Registration 1234 alias " + std::string(51, 'h') + " 5021 0 0\n");

  EXPECT_EQ(tlxRavixMgr_AuthUnsetHOST(), 0);
  tlxAuth_RequestRegistration("1234", "alias");
  EXPECT_EQ(calls(), "Registration 1234 alias  0 0 0\n");
}

}  // namespace

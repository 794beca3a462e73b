// The command mirror over the copy-data transport and the text-command
// mailslot through the platform mailslot's writer. The commands land in a
// recorder in place of the library's exports.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "link/api/command_mailslot.h"
#include "link/control/command_mirror.h"
#include "link_test_support.h"
#include "ses/ses_coding.h"
#include "win32/copy_data.h"
#include "win32/mailslot.h"
#include "win32/synch.h"

namespace tlx::link {
namespace {

using Clock = std::chrono::steady_clock;

std::string Hex(const void* data, int length) {
  std::string text(static_cast<size_t>(2 * std::max(length, 0)) + 1, '\0');
  sesHexEncode(data, std::max(length, 0), text.data());
  text.pop_back();
  return text;
}

std::string Base64(const std::vector<uint8_t>& bytes) {
  std::string text(4 * ((bytes.size() + 2) / 3) + 1, '\0');
  text.resize(static_cast<size_t>(sesBase64Encode(bytes.data(), static_cast<int>(bytes.size()), text.data())));
  return text;
}

TEST(CommandMirror, TheComparatorReceivesEachCommandAsText) {
  tlxCommandMirrorForget();
  std::mutex lock;
  std::vector<std::string> texts;
  std::vector<DWORD> sizes;
  bool anonymous = true;
  auto endpoint = win32::CopyDataEndpoint::Create(
      {"TRCMainForm", "Remote Command Comparator"},
      [&](const win32::CopyDataAddress& sender, const COPYDATASTRUCT& data) -> LRESULT {
        std::lock_guard guard(lock);
        texts.emplace_back(static_cast<const char*>(data.lpData));
        sizes.push_back(data.cbData);
        anonymous = anonymous && data.dwData == 0 && win32::IsAnonymousCopyDataSender(sender);
        return 1;
      });
  ASSERT_NE(endpoint, nullptr);
  const uint8_t code[] = {1, 2, 3, 4, 5};
  tlxCommandMirror(1, code, 5);
  tlxCommandMirror(2, nullptr, 0);
  const std::vector<uint8_t> longCode(3000, 0xAB);
  tlxCommandMirror(6, longCode.data(), static_cast<int>(longCode.size()));

  std::lock_guard guard(lock);
  ASSERT_EQ(texts.size(), 3u);
  EXPECT_EQ(texts[0], "cmdid=1\ndata=0102030405\n");
  EXPECT_EQ(sizes[0], texts[0].size() + 1);
  EXPECT_EQ(texts[1], "cmdid=2\ndata=\n");
  EXPECT_EQ(texts[2].size(), static_cast<size_t>(kMirrorTextSize - 1)) << "a long code is cut to the text";
  EXPECT_EQ(texts[2].rfind("cmdid=6\ndata=abab", 0), 0u);
  EXPECT_EQ(sizes[2], static_cast<DWORD>(kMirrorTextSize));
  EXPECT_TRUE(anonymous);
}

TEST(CommandMirror, WithoutAComparatorItIsLookedForOnce) {
  tlxCommandMirrorForget();
  const int before = tlxCommandMirrorLookups();
  const uint8_t code[] = {1};
  for (int i = 0; i < 3; ++i) tlxCommandMirror(1, code, 1);
  EXPECT_EQ(tlxCommandMirrorLookups(), before + 1);
  // A comparator that comes later is not seen.
  std::atomic<int> received{0};
  auto endpoint = win32::CopyDataEndpoint::Create({"TRCMainForm", "Remote Command Comparator"},
                                                  [&](const win32::CopyDataAddress&, const COPYDATASTRUCT&) {
                                                    ++received;
                                                    return LRESULT{1};
                                                  });
  ASSERT_NE(endpoint, nullptr);
  tlxCommandMirror(1, code, 1);
  EXPECT_EQ(received.load(), 0);
  EXPECT_EQ(tlxCommandMirrorLookups(), before + 1);
}

// What the commands called, one line each.
struct Calls {
  std::mutex lock;
  std::condition_variable changed;
  std::vector<std::string> lines;
};

Calls& calls() {
  static Calls c;
  return c;
}

void Add(const std::string& line) {
  std::lock_guard guard(calls().lock);
  calls().lines.push_back(line);
  calls().changed.notify_all();
}

const TlxCommandActions kRecorder = {
    [](int cmdId, const char* data, int length) {
      Add("send " + std::to_string(cmdId) + " " + (data == nullptr ? "-" : Hex(data, length)));
      return 0;
    },
    [](int input, int mode, int channel, int p4, int p5) {
      Add("select " + std::to_string(input) + " " + std::to_string(mode) + " " + std::to_string(channel) + " " +
          std::to_string(p4) + " " + std::to_string(p5));
      return 0;
    },
    [](int n) {
      Add("start " + std::to_string(n));
      return 0;
    },
    [] {
      Add("cancel");
      return 0;
    },
    [] {
      Add("finish");
      return 0;
    },
    [](int channelType, unsigned* out) {
      // The whole work buffer may be written.
      std::memset(out, 0xEE, 163);
      Add("result " + std::to_string(channelType));
      return 0;
    },
};

class CommandMailslotTest : public testing::Test {
 protected:
  void SetUp() override {
    // A sanitizer starts a helper thread of its own with the first thread it
    // sees; let that happen before threads are counted.
    std::thread([] {}).join();
    std::lock_guard guard(calls().lock);
    calls().lines.clear();
  }
  void TearDown() override { tlxCommandMailslotStop(); }

  static void Write(const std::string& text) {
    HANDLE writer = CreateFileA(kCommandMailslotName, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(writer, text.data(), static_cast<DWORD>(text.size()), &written, nullptr));
    CloseHandle(writer);
  }

  // Writes an end mark and waits until it ran; the calls before it.
  static std::vector<std::string> CallsUntilEnd() {
    Write("TVSELECT:99");
    std::unique_lock lock(calls().lock);
    calls().changed.wait_for(lock, std::chrono::seconds(5),
                             [] { return !calls().lines.empty() && calls().lines.back() == "select 99 0 0 0 0"; });
    std::vector<std::string> lines = calls().lines;
    if (!lines.empty() && lines.back() == "select 99 0 0 0 0") lines.pop_back();
    return lines;
  }
};

TEST_F(CommandMailslotTest, EachCommandCallsItsExport) {
  const int threadsBefore = test::ThreadCount();
  ASSERT_EQ(tlxCommandMailslotStart(kRecorder), 0);
  const struct {
    std::string text;
    std::vector<std::string> calls;
  } cases[] = {
      {"RMCON:1," + Base64({1, 2, 3, 4, 5}), {"send 1 0102030405"}},
      {"RMCON:1," + Base64({0xAA, 0xBB}), {"send 1 aabb000000"}},
      {"RMCON:1," + Base64({1, 2, 3, 4, 5, 6, 7}), {"send 1 0102030405"}},
      {"RMCON:2", {"send 2 -"}},
      {"RMCON:6," + Base64({9, 8, 7, 6, 5, 4, 3}), {"send 6 09080706050403"}},
      {"RMCON:7," + Base64({1, 2}), {}},
      {"TVSELECT:0,1,5", {"select 0 1 5 0 0"}},
      {"TVSELECT:3", {"select 3 0 0 0 0"}},
      {"TV-AUTOPRESET:start,2", {"start 2"}},
      {"TV-AUTOPRESET:cancel", {"cancel"}},
      {"TV-AUTOPRESET:finish", {"finish"}},
      {"TV-AUTOPRESET:result,1", {"result 1"}},
      {"TV-AUTOPRESET:stop,1", {}},
      {"TVSELECT 0,1,5", {}},
      {"tvselect:1", {}},
      {"", {}},
  };
  for (const auto& c : cases) {
    SetUp();
    Write(c.text);
    EXPECT_EQ(CallsUntilEnd(), c.calls) << c.text;
  }
  // A message too long to execute is dropped whole; the next runs as it stands.
  SetUp();
  Write("TVSELECT:7," + std::string(1990, '1'));
  Write("TVSELECT:8");
  EXPECT_EQ(CallsUntilEnd(), std::vector<std::string>{"select 8 0 0 0 0"});
  // The longest message executed.
  SetUp();
  Write("TVSELECT:5,0," + std::string(kCommandMessageMax - 13, '0'));
  EXPECT_EQ(CallsUntilEnd(), std::vector<std::string>{"select 5 0 0 0 0"});

  tlxCommandMailslotStop();
  EXPECT_EQ(test::ThreadCount(), threadsBefore) << "the reader is joined";
  HANDLE writer = CreateFileA(kCommandMailslotName, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_EQ(writer, INVALID_HANDLE_VALUE) << "the mailslot is closed";
}

TEST_F(CommandMailslotTest, ASlotOwnedElsewhereLeavesTheLibraryWithoutCommands) {
  HANDLE owned = CreateMailslotA(kCommandMailslotName, 0, 0, nullptr);
  ASSERT_NE(owned, INVALID_HANDLE_VALUE);
  const int threadsBefore = test::ThreadCount();
  EXPECT_EQ(tlxCommandMailslotStart(kRecorder), -1);
  EXPECT_EQ(test::ThreadCount(), threadsBefore);
  tlxCommandMailslotStop();
  CloseHandle(owned);
  // Free again: the library takes it.
  EXPECT_EQ(tlxCommandMailslotStart(kRecorder), 0);
  EXPECT_EQ(tlxCommandMailslotStart(kRecorder), 0);
  Write("TVSELECT:4");
  EXPECT_EQ(CallsUntilEnd(), std::vector<std::string>{"select 4 0 0 0 0"});
}

}  // namespace
}  // namespace tlx::link

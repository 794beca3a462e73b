#include "mfc/copy_data_window.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QThread>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/child_process.h"
#include "support/gui_app.h"

namespace {

using mfc_test::PumpUntil;
using tlx::mfc::CopyDataWindowEndpoint;
using tlx::test::ChildProcess;
using tlx::win32::CopyDataAddress;

// Names no other test or process uses.
CopyDataAddress Unique() {
  static int count = 0;
  const std::string process = std::to_string(getpid());
  return {"TlxFrame" + process, "Player " + process + " " + std::to_string(++count)};
}

// A window that records each WM_COPYDATA and, when given a reply, sends it
// back to the sender while it handles the call.
class CopyDataWnd : public CWnd {
 public:
  struct Arrival {
    bool onGuiThread;
    HWND sender;
    ULONG_PTR identifier;
    std::string bytes;
    bool terminated;  // a zero byte after cbData
    LRESULT replyResult;
  };
  CopyDataWnd() {
    mfc_test::EnsureApp();
    CreateEx(0, nullptr, u"copy-data", WS_POPUP, 0, 0, 100, 80, nullptr, 0);
  }
  ~CopyDataWnd() override { DestroyWindow(); }
  std::vector<Arrival> arrivals;
  std::string reply;
  int posted = 0;

 protected:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == WM_USER) ++posted;
    if (message != WM_COPYDATA) return CWnd::WindowProc(message, wParam, lParam);
    const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    const auto* bytes = static_cast<const char*>(data->lpData);
    Arrival arrival{QThread::currentThread() == QCoreApplication::instance()->thread(),
                    reinterpret_cast<HWND>(wParam),
                    data->dwData,
                    std::string(bytes, data->cbData),
                    bytes[data->cbData] == '\0',
                    -1};
    if (!reply.empty()) {
      COPYDATASTRUCT answer{0x5022, static_cast<DWORD>(reply.size() + 1), reply.data()};
      arrival.replyResult =
          ::SendMessage(arrival.sender, WM_COPYDATA, reinterpret_cast<WPARAM>(m_hWnd), reinterpret_cast<LPARAM>(&answer));
    }
    arrivals.push_back(arrival);
    return 7;
  }
};

LRESULT Notify(HWND proxy, HWND from, std::string text) {
  COPYDATASTRUCT notice{0x5022, static_cast<DWORD>(text.size() + 1), text.data()};
  return ::SendMessage(proxy, WM_COPYDATA, reinterpret_cast<WPARAM>(from), reinterpret_cast<LPARAM>(&notice));
}

TEST(CopyDataWindow, ACallArrivesOnTheGuiThreadAndItsReplyComesBeforeTheResult) {
  CopyDataWnd window;
  window.reply = "TV-VOLUME:muting=0,volume=4200";
  const CopyDataAddress address = Unique();
  auto endpoint = CopyDataWindowEndpoint::Create(window, address);
  ASSERT_NE(nullptr, endpoint);

  ChildProcess client("tlx_copydata_send", {"--title", address.windowTitle, "TV-VOLUME:get"});
  ASSERT_TRUE(PumpUntil([&] { return window.arrivals.size() == 1; }));
  EXPECT_EQ(window.reply, client.ReadLine());
  EXPECT_EQ("result 7", client.ReadLine());
  EXPECT_EQ(0, client.Wait());
  const CopyDataWnd::Arrival& call = window.arrivals[0];
  EXPECT_TRUE(call.onGuiThread);
  EXPECT_EQ(0x5021u, call.identifier);
  EXPECT_EQ(std::string("TV-VOLUME:get", 14), call.bytes);
  EXPECT_TRUE(call.terminated);
  EXPECT_EQ(TRUE, call.replyResult) << "the client's answer to the reply";
  ASSERT_NE(nullptr, call.sender);
  EXPECT_FALSE(IsWindow(call.sender)) << "an anonymous caller's proxy ends with its call";
  EXPECT_EQ(0, Notify(call.sender, window, "late"));

  // An in-process send without a sender: the reply goes nowhere.
  std::string text = "local";
  COPYDATASTRUCT local{1, static_cast<DWORD>(text.size()), text.data()};
  EXPECT_EQ(7, ::SendMessage(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&local)));
  ASSERT_EQ(2u, window.arrivals.size());
  EXPECT_EQ(0, window.arrivals[1].replyResult);
}

// A record without a terminator of its own still has the zero byte after it
// when the window gets it. (Malformed calls are dropped by the transport
// before any handler runs: the copy-data transport's own test.)
TEST(CopyDataWindow, ARecordWithoutATerminatorEndsInAZeroByte) {
  CopyDataWnd window;
  const CopyDataAddress address = Unique();
  auto endpoint = CopyDataWindowEndpoint::Create(window, address);
  ASSERT_NE(nullptr, endpoint);
  std::string unterminated(1000, 'x');
  std::atomic<bool> sent{false};
  LRESULT result = 0;
  std::thread sender([&] {
    const COPYDATASTRUCT record{3, static_cast<DWORD>(unterminated.size()), unterminated.data()};
    sent = tlx::win32::SendCopyData(address, record, 5000, &result) != FALSE;
  });
  EXPECT_TRUE(PumpUntil([&] { return window.arrivals.size() == 1; }));
  sender.join();
  EXPECT_TRUE(sent);
  EXPECT_EQ(7, result);
  ASSERT_EQ(1u, window.arrivals.size());
  EXPECT_EQ(unterminated, window.arrivals[0].bytes);
  EXPECT_TRUE(window.arrivals[0].terminated);
}

TEST(CopyDataWindow, AFollowerHearsNoticesUntilItIsKilled) {
  CopyDataWnd window;
  const CopyDataAddress address = Unique();
  auto endpoint = CopyDataWindowEndpoint::Create(window, address);
  ASSERT_NE(nullptr, endpoint);

  ChildProcess follower("tlx_copydata_send", {"--follow", "--title", address.windowTitle, "subscribe"});
  ASSERT_TRUE(PumpUntil([&] { return window.arrivals.size() == 1; }));
  EXPECT_EQ("result 7", follower.ReadLine());
  const HWND proxy = window.arrivals[0].sender;
  EXPECT_TRUE(IsWindow(proxy)) << "a named caller's proxy outlives its call";
  EXPECT_EQ(TRUE, Notify(proxy, window, "TV:channel=4"));
  EXPECT_EQ(TRUE, Notify(proxy, window, "TV:channel=5"));
  EXPECT_EQ("TV:channel=4", follower.ReadLine());
  EXPECT_EQ("TV:channel=5", follower.ReadLine());

  follower.Kill();
  follower.Wait();
  // Queued; or refused when the follower died before it answered the last
  // notice, which drops it just the same.
  Notify(proxy, window, "TV:channel=6");
  EXPECT_TRUE(PumpUntil([&] { return !IsWindow(proxy); }));
  EXPECT_EQ(0, Notify(proxy, window, "TV:channel=7"));
}

TEST(CopyDataWindow, ASubscriberThatStopsAnsweringIsDroppedWhileTheGuiThreadRuns) {
  CopyDataWnd window;
  const CopyDataAddress address = Unique();
  constexpr DWORD kNoticeTimeoutMs = 300;
  auto endpoint = CopyDataWindowEndpoint::Create(window, address, kNoticeTimeoutMs);
  ASSERT_NE(nullptr, endpoint);

  // A subscriber whose endpoint takes the notice and never answers it.
  std::mutex lock;
  std::condition_variable released;
  bool release = false;
  const CopyDataAddress own = Unique();
  auto subscriber = tlx::win32::CopyDataEndpoint::Create(own, [&](const CopyDataAddress&, const COPYDATASTRUCT&) {
    std::unique_lock guard(lock);
    released.wait(guard, [&] { return release; });
    return LRESULT{1};
  });
  ASSERT_NE(nullptr, subscriber);
  std::thread call([&] {
    std::string text = "subscribe";
    const COPYDATASTRUCT record{1, static_cast<DWORD>(text.size()), text.data()};
    LRESULT result = 0;
    tlx::win32::SendCopyData(address, record, 5000, &result, &own);
  });
  ASSERT_TRUE(PumpUntil([&] { return window.arrivals.size() == 1; }));
  call.join();
  const HWND proxy = window.arrivals[0].sender;

  EXPECT_EQ(TRUE, Notify(proxy, window, "TV:off"));
  // The GUI thread goes on handling its messages while the notice waits.
  ASSERT_TRUE(window.PostMessage(WM_USER));
  ASSERT_TRUE(PumpUntil([&] { return window.posted == 1; }));
  EXPECT_TRUE(IsWindow(proxy)) << "dropped only once the time-out ran out";
  EXPECT_TRUE(PumpUntil([&] { return !IsWindow(proxy); }));
  {
    std::lock_guard guard(lock);
    release = true;
  }
  released.notify_all();
}

}  // namespace

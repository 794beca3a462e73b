#include "win32/copy_data.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/child_process.h"
#include "win32/sockets.h"
#include "win32/synch.h"
#include "win32/internal/unix_socket.h"

namespace {

using tlx::test::ChildProcess;
using tlx::win32::CopyDataAddress;
using tlx::win32::CopyDataEndpoint;
using tlx::win32::FindCopyDataEndpoint;
using tlx::win32::SendCopyData;

// Names no other test process uses.
CopyDataAddress Unique(const char* windowClass) {
  const std::string process = std::to_string(getpid());
  return {windowClass + process, "Player " + process};
}

struct Text {
  explicit Text(std::string text) : bytes(std::move(text)) {}
  COPYDATASTRUCT record(ULONG_PTR identifier = 0x5021) {
    return {identifier, static_cast<DWORD>(bytes.size() + 1), bytes.data()};
  }
  std::string bytes;
};

std::string TextOf(const COPYDATASTRUCT& data) {
  const auto* bytes = static_cast<const char*>(data.lpData);
  return std::string(bytes, strnlen(bytes, data.cbData));
}

class Server {
 public:
  explicit Server(const CopyDataAddress& address)
      : process_("win32_services_helper", {"copydata-serve", address.windowClass, address.windowTitle}) {
    ready = process_.ReadLine() == "0";
  }
  ChildProcess& process() { return process_; }
  bool ready = false;

 private:
  ChildProcess process_;
};

TEST(CopyData, RepliesArriveBeforeTheSendReturns) {
  const CopyDataAddress address = Unique("TlxFrame");
  Server server(address);
  ASSERT_TRUE(server.ready);

  CopyDataAddress found;
  ASSERT_TRUE(FindCopyDataEndpoint(nullptr, address.windowTitle.c_str(), &found));
  EXPECT_TRUE(tlx::win32::SameCopyDataAddress(address, found));
  std::vector<std::string> replies;
  auto onReply = [&](const CopyDataAddress& from, const COPYDATASTRUCT& data) -> LRESULT {
    EXPECT_TRUE(tlx::win32::SameCopyDataAddress(address, from));
    EXPECT_EQ(0x5022u, data.dwData);
    replies.push_back(TextOf(data));
    return 5;
  };
  Text command("echo:TV-VOLUME:muting=0,volume=4200");
  LRESULT result = 0;
  ASSERT_TRUE(SendCopyData(found, command.record(), 2000, &result, nullptr, onReply));
  EXPECT_EQ(7, result) << "the handler saw the reply's own result";
  EXPECT_EQ(std::vector<std::string>{"TV-VOLUME:muting=0,volume=4200"}, replies);
}

TEST(CopyData, AReplyMayComeFromAnyThreadOfTheReceiver) {
  // As a window layer does: the endpoint's thread hands the record to another
  // thread, which answers the sender while the endpoint's thread waits.
  const CopyDataAddress address = Unique("TlxFrame");
  auto endpoint = CopyDataEndpoint::Create(address, [](const CopyDataAddress& sender, const COPYDATASTRUCT& data) {
    LRESULT answer = 0;
    std::thread ui([&] {
      Text reply("reply to " + TextOf(data));
      SendCopyData(sender, reply.record(data.dwData), 2000, &answer);
    });
    ui.join();
    return answer * 2;
  });
  ASSERT_NE(nullptr, endpoint);
  std::vector<std::string> replies;
  Text command("Ravix:get");
  LRESULT result = 0;
  ASSERT_TRUE(SendCopyData(address, command.record(), 2000, &result, nullptr,
                           [&](const CopyDataAddress&, const COPYDATASTRUCT& data) -> LRESULT {
                             replies.push_back(TextOf(data));
                             return 21;
                           }));
  EXPECT_EQ(42, result);
  EXPECT_EQ(std::vector<std::string>{"reply to Ravix:get"}, replies);
}

TEST(CopyData, EndpointsAreFoundByEitherNameAndOwnedOnce) {
  const CopyDataAddress address = Unique("TlxFrame Class ");
  Server server(address);
  ASSERT_TRUE(server.ready);
  struct Case {
    const char* windowClass;
    const char* windowTitle;
    bool found;
  };
  std::string upperTitle = address.windowTitle;
  for (char& c : upperTitle) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  std::string lowerClass = address.windowClass;
  for (char& c : lowerClass) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const Case& c : {Case{lowerClass.c_str(), nullptr, true}, Case{nullptr, upperTitle.c_str(), true},
                        Case{lowerClass.c_str(), upperTitle.c_str(), true},
                        Case{"Other", address.windowTitle.c_str(), false}, Case{"TlxFrame Class", nullptr, false}}) {
    EXPECT_EQ(c.found, FindCopyDataEndpoint(c.windowClass, c.windowTitle, nullptr) != FALSE)
        << (c.windowClass ? c.windowClass : "(any)") << " / " << (c.windowTitle ? c.windowTitle : "(any)");
  }
  EXPECT_EQ(nullptr, CopyDataEndpoint::Create({lowerClass, upperTitle}, {}));
  EXPECT_EQ(ERROR_ALREADY_EXISTS, GetLastError());
  EXPECT_EQ(nullptr, CopyDataEndpoint::Create({std::string(60, 'c'), std::string(60, 't')}, {}));
  EXPECT_EQ(ERROR_FILENAME_EXCED_RANGE, GetLastError());
}

TEST(CopyData, ADeadOrSlowReceiverFailsInBoundedTime) {
  const CopyDataAddress address = Unique("TlxFrame");
  Server server(address);
  ASSERT_TRUE(server.ready);

  Text sleep("sleep");
  auto started = std::chrono::steady_clock::now();
  EXPECT_FALSE(SendCopyData(address, sleep.record(), 200, nullptr));
  EXPECT_EQ(ERROR_TIMEOUT, GetLastError());
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));

  Text die("die");
  started = std::chrono::steady_clock::now();
  EXPECT_FALSE(SendCopyData(address, die.record(), 10000, nullptr));
  EXPECT_EQ(ERROR_BROKEN_PIPE, GetLastError());
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
  EXPECT_EQ(3, server.process().Wait());

  EXPECT_FALSE(SendCopyData(address, die.record(), 1000, nullptr));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetLastError());
  EXPECT_FALSE(FindCopyDataEndpoint(nullptr, address.windowTitle.c_str(), nullptr));
}

// A receiver stuck in its handler stops taking connections; once its queue
// of waiting connections is full, further senders must still give up in time.
TEST(CopyData, AReceiverThatStoppedTakingCallsFailsEachSendInBoundedTime) {
  const CopyDataAddress address = Unique("TlxStuck");
  HANDLE release = CreateEvent(nullptr, TRUE, FALSE, nullptr);
  auto endpoint = CopyDataEndpoint::Create(address, [&](const CopyDataAddress&, const COPYDATASTRUCT&) -> LRESULT {
    WaitForSingleObject(release, 10000);
    return 0;
  });
  ASSERT_NE(nullptr, endpoint);
  constexpr int kSends = 24;  // more than the queue of waiting connections holds
  std::atomic<long long> slowestMs{0};
  std::atomic<int> sent{0};
  std::thread senders([&] {
    for (int i = 0; i < kSends; ++i) {
      Text command("call " + std::to_string(i));
      const auto started = std::chrono::steady_clock::now();
      EXPECT_FALSE(SendCopyData(address, command.record(), 50, nullptr));
      const long long ms =
          std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count();
      if (ms > slowestMs) slowestMs = ms;
      ++sent;
    }
  });
  for (int i = 0; i < 400 && sent < kSends; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  SetEvent(release);  // lets a blocked sender go, so the test ends either way
  senders.join();
  EXPECT_LT(slowestMs, 1000) << "a send waited for the stuck receiver";
  endpoint.reset();
  CloseHandle(release);
}

TEST(CopyData, ARegisteredSenderHearsFromTheReceiverLater) {
  const CopyDataAddress address = Unique("TlxFrame");
  Server server(address);
  ASSERT_TRUE(server.ready);

  std::mutex lock;
  std::condition_variable arrived;
  std::vector<std::string> notices;
  const CopyDataAddress own = Unique("TlxClient");
  auto endpoint =
      CopyDataEndpoint::Create(own, [&](const CopyDataAddress& from, const COPYDATASTRUCT& data) -> LRESULT {
        std::lock_guard guard(lock);
        notices.push_back(TextOf(data) + " from " + from.windowTitle);
        arrived.notify_all();
        return 1;
      });
  ASSERT_NE(nullptr, endpoint);
  Text subscribe("subscribe");
  LRESULT result = 0;
  ASSERT_TRUE(SendCopyData(address, subscribe.record(), 2000, &result, &own));
  std::unique_lock guard(lock);
  ASSERT_TRUE(arrived.wait_for(guard, std::chrono::seconds(5), [&] { return !notices.empty(); }));
  EXPECT_EQ("notice from #", notices.front().substr(0, 13)) << "sent by an anonymous sender";
  EXPECT_EQ("0", server.process().ReadLine());
}

// Records whose bytes carry no terminator of their own, both ways: each
// handler finds one zero byte after cbData, so a reader that stops at the
// terminator cannot run past the record.
TEST(CopyData, AZeroByteFollowsEveryRecordHandedToAHandler) {
  const CopyDataAddress address = Unique("TlxFrame");
  auto terminated = [](const COPYDATASTRUCT& data) {
    return static_cast<const char*>(data.lpData)[data.cbData] == '\0';
  };
  std::string unterminated(4096, 'x');
  bool callTerminated = false;
  auto endpoint = CopyDataEndpoint::Create(address, [&](const CopyDataAddress& sender, const COPYDATASTRUCT& data) {
    callTerminated = terminated(data) && data.cbData == unterminated.size();
    COPYDATASTRUCT reply{1, static_cast<DWORD>(unterminated.size()), unterminated.data()};
    LRESULT answer = 0;
    SendCopyData(sender, reply, 2000, &answer);
    return answer;
  });
  ASSERT_NE(nullptr, endpoint);
  COPYDATASTRUCT call{0x5021, static_cast<DWORD>(unterminated.size()), unterminated.data()};
  LRESULT result = 0;
  ASSERT_TRUE(SendCopyData(address, call, 2000, &result, nullptr,
                           [&](const CopyDataAddress&, const COPYDATASTRUCT& reply) -> LRESULT {
                             return terminated(reply) && reply.cbData == unterminated.size() ? 1 : 0;
                           }));
  EXPECT_TRUE(callTerminated);
  EXPECT_EQ(1, result) << "the reply's handler found the zero byte too";
}

// An anonymous sender's name stands for one call: no endpoint may take it, or
// it would receive what was meant for that caller.
TEST(CopyData, NoEndpointTakesAnAnonymousSendersName) {
  const CopyDataAddress address = Unique("TlxFrame");
  CopyDataAddress sender;
  auto endpoint = CopyDataEndpoint::Create(address, [&](const CopyDataAddress& from, const COPYDATASTRUCT&) {
    sender = from;
    return LRESULT{1};
  });
  ASSERT_NE(nullptr, endpoint);
  Text command("Ravix:get");
  LRESULT result = 0;
  ASSERT_TRUE(SendCopyData(address, command.record(), 2000, &result));
  EXPECT_TRUE(tlx::win32::IsAnonymousCopyDataSender(sender));
  EXPECT_FALSE(tlx::win32::IsAnonymousCopyDataSender(address));
  EXPECT_EQ(nullptr, CopyDataEndpoint::Create(sender, {}));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

TEST(CopyData, MalformedCallsAreDroppedAndTheEndpointServesOn) {
  const CopyDataAddress address = Unique("TlxFrame");
  int served = 0;
  auto endpoint = CopyDataEndpoint::Create(address, [&](const CopyDataAddress&, const COPYDATASTRUCT& data) -> LRESULT {
    ++served;
    return static_cast<LRESULT>(data.cbData);
  });
  ASSERT_NE(nullptr, endpoint);
  tlx::win32::UnixAddress socketAddress;
  ASSERT_EQ(ERROR_SUCCESS, tlx::win32::CopyDataSocketAddress(address, &socketAddress));
  const std::vector<std::string> frames = {
      std::string("\x01\0\0\0\xFF\xFF\xFF\x7F", 8),  // a call claiming 2 GiB
      std::string("\x09\0\0\0\0\0\0\0", 8),          // an unknown kind
      std::string("\x01\0\0\0\x0C\0\0\0"
                  "12345678\xFF\0\0\0",
                  20),             // a name longer than the call
      std::string("\x01\0\0", 3),  // cut short
  };
  for (const std::string& frame : frames) {
    const tlx::win32::Descriptor socket = tlx::win32::OpenSocket(AF_UNIX, SOCK_STREAM);
    const int raw = socket.get();
    ASSERT_EQ(0, connect(raw, socketAddress.sockaddr(), socketAddress.length));
    ASSERT_EQ(static_cast<ssize_t>(frame.size()), send(raw, frame.data(), frame.size(), MSG_NOSIGNAL));
    shutdown(raw, SHUT_WR);
    char answer;
    EXPECT_EQ(0, recv(raw, &answer, 1, 0)) << "dropped without an answer";
  }
  EXPECT_EQ(0, served);
  Text command("still here");
  LRESULT result = 0;
  ASSERT_TRUE(SendCopyData(address, command.record(), 2000, &result));
  EXPECT_EQ(11, result);
  EXPECT_EQ(1, served);
}

TEST(CopyData, TheCommandLineClientSendsAText) {
  const CopyDataAddress address = Unique("TlxFrame");
  Server server(address);
  ASSERT_TRUE(server.ready);
  ChildProcess client("tlx_copydata_send", {"--title", address.windowTitle, "echo:Ravix:connection=1"});
  EXPECT_EQ("Ravix:connection=1", client.ReadLine());
  EXPECT_EQ("result -1", client.ReadLine()) << "the client answers a reply with 1, not the 5 the helper wants";
  EXPECT_EQ(0, client.Wait());

  ChildProcess missing("tlx_copydata_send", {"--title", "No Such Window", "Ravix:get"});
  EXPECT_EQ(1, missing.Wait());
  ChildProcess usage("tlx_copydata_send", {"Ravix:get"});
  EXPECT_EQ(2, usage.Wait());
}

}  // namespace

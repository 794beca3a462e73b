#include "win32/mailslot.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "support/child_process.h"
#include "win32/sockets.h"
#include "win32/synch.h"
#include "win32/text.h"
#include "win32/unix_socket.h"

namespace {

using tlx::test::ChildProcess;

// A name no other test process uses.
std::string SlotName(const char* tag) {
  return std::string("\\\\.\\mailslot\\TlxTest-") + tag + "-" + std::to_string(getpid());
}

std::string Expected(int index, size_t size) {
  std::string message(size, '\0');
  for (size_t i = 0; i < size; ++i) message[i] = static_cast<char>('a' + (index + i) % 26);
  return message;
}

TEST(Mailslot, ANameHasOneOwnerAcrossProcesses) {
  const std::string name = SlotName("owner");
  ChildProcess owner("win32_services_helper", {"mailslot-own", name});
  ASSERT_EQ("0", owner.ReadLine());

  // The same name with other separators and letter case.
  std::string other = name;
  for (char& c : other) c = c == '\\' ? '/' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  EXPECT_EQ(INVALID_HANDLE_VALUE, CreateMailslotA(other.c_str(), 0, 0, nullptr));
  EXPECT_EQ(ERROR_ALREADY_EXISTS, GetLastError());

  HANDLE writer = CreateFileA(other.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, writer);
  owner.CloseInput();
  EXPECT_EQ(0, owner.Wait());
  DWORD written = 0;
  EXPECT_FALSE(WriteFile(writer, "late", 4, &written, nullptr)) << "the owner has gone";
  EXPECT_EQ(ERROR_BROKEN_PIPE, GetLastError());
  EXPECT_TRUE(CloseHandle(writer));

  HANDLE mine = CreateMailslotA(name.c_str(), 0, 0, nullptr);
  EXPECT_NE(INVALID_HANDLE_VALUE, mine) << "free again once its owner ended";
  EXPECT_TRUE(CloseHandle(mine));
}

TEST(Mailslot, MessagesArriveWholeAndOversizedOnesAreRefusedOrSkipped) {
  const std::string name = SlotName("messages");
  HANDLE mailslot = CreateMailslotA(name.c_str(), 0, 2000, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, mailslot);
  const std::vector<size_t> sizes = {5, 0, 2000, 3, kMailslotMaxMessageSize, kMailslotMaxMessageSize + 1};
  std::vector<std::string> arguments = {"mailslot-write", name};
  for (size_t size : sizes) arguments.push_back(std::to_string(size));
  ChildProcess writer("win32_services_helper", arguments);
  for (size_t i = 0; i + 1 < sizes.size(); ++i) EXPECT_EQ("0", writer.ReadLine()) << sizes[i];
  EXPECT_EQ(std::to_string(ERROR_INVALID_PARAMETER), writer.ReadLine()) << "over the maximum";
  EXPECT_EQ(0, writer.Wait());

  // Read the way the command reader does: a 1025-byte buffer, a message that
  // does not fit is taken whole with a larger one and dropped.
  for (size_t i = 0; i + 1 < sizes.size(); ++i) {
    SCOPED_TRACE(sizes[i]);
    DWORD next = 0;
    DWORD count = 0;
    ASSERT_TRUE(GetMailslotInfo(mailslot, nullptr, &next, &count, nullptr));
    EXPECT_EQ(sizes[i], next);
    EXPECT_EQ(1u, count);
    std::string buffer(1025, '\0');
    DWORD read = 0;
    if (next > buffer.size()) {
      EXPECT_FALSE(ReadFile(mailslot, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr));
      EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, GetLastError());
      buffer.resize(next);
    }
    ASSERT_TRUE(ReadFile(mailslot, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr));
    EXPECT_EQ(Expected(static_cast<int>(i), sizes[i]), buffer.substr(0, read));
  }
  DWORD next = 0;
  ASSERT_TRUE(GetMailslotInfo(mailslot, nullptr, &next, nullptr, nullptr));
  EXPECT_EQ(MAILSLOT_NO_MESSAGE, next);
  EXPECT_TRUE(CloseHandle(mailslot));
}

TEST(Mailslot, AMessageOverTheOwnersLimitIsDropped) {
  const std::string name = SlotName("limit");
  HANDLE mailslot = CreateMailslotA(name.c_str(), 8, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, mailslot);
  HANDLE writer = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, writer);
  ASSERT_TRUE(WriteFile(writer, "far too long", 12, nullptr, nullptr));
  ASSERT_TRUE(WriteFile(writer, "short", 5, nullptr, nullptr));
  char buffer[16];
  DWORD read = 0;
  ASSERT_TRUE(ReadFile(mailslot, buffer, sizeof(buffer), &read, nullptr));
  EXPECT_EQ("short", std::string(buffer, read));
  EXPECT_FALSE(ReadFile(mailslot, buffer, sizeof(buffer), &read, nullptr));
  EXPECT_EQ(ERROR_SEM_TIMEOUT, GetLastError());
  CloseHandle(writer);
  CloseHandle(mailslot);
}

// Any process may send to the socket behind a name, bypassing WriteFile's
// size check; an inbox that takes any size still holds to the maximum, so a
// reader with a buffer of the maximum is never stuck behind such a message.
TEST(Mailslot, AForeignDatagramOverTheMaximumIsDropped) {
  const std::string name = SlotName("foreign");
  HANDLE mailslot = CreateMailslotA(name.c_str(), 0, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, mailslot);
  tlx::win32::UnixAddress address;
  const std::string slot = name.substr(std::string("\\\\.\\mailslot\\").size());
  ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS),
            tlx::win32::AbstractAddress("mailslot", tlx::win32::FoldCase(slot), &address));
  const tlx::win32::Descriptor socket = tlx::win32::OpenSocket(AF_UNIX, SOCK_DGRAM);
  ASSERT_TRUE(socket);
  const int sender = socket.get();
  const int room = 4 * static_cast<int>(kMailslotMaxMessageSize);
  setsockopt(sender, SOL_SOCKET, SO_SNDBUF, &room, sizeof(room));
  ASSERT_EQ(0, connect(sender, address.sockaddr(), address.length));
  const std::string huge(kMailslotMaxMessageSize + 1, 'x');
  ASSERT_EQ(static_cast<ssize_t>(huge.size()), send(sender, huge.data(), huge.size(), 0));
  ASSERT_EQ(5, send(sender, "short", 5, 0));

  DWORD next = 0;
  ASSERT_TRUE(GetMailslotInfo(mailslot, nullptr, &next, nullptr, nullptr));
  EXPECT_EQ(5u, next);
  std::string buffer(kMailslotMaxMessageSize, '\0');
  DWORD read = 0;
  ASSERT_TRUE(ReadFile(mailslot, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr));
  EXPECT_EQ("short", buffer.substr(0, read));
  EXPECT_TRUE(CloseHandle(mailslot));
}

TEST(Mailslot, ClosingWakesAWaitingReader) {
  HANDLE mailslot = CreateMailslotA(SlotName("close").c_str(), 0, MAILSLOT_WAIT_FOREVER, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, mailslot);
  BOOL result = TRUE;
  DWORD error = 0;
  std::thread reader([&] {
    char buffer[16];
    DWORD read = 0;
    result = ReadFile(mailslot, buffer, sizeof(buffer), &read, nullptr);
    error = GetLastError();
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  const auto closed = std::chrono::steady_clock::now();
  EXPECT_TRUE(CloseHandle(mailslot));
  reader.join();
  EXPECT_LT(std::chrono::steady_clock::now() - closed, std::chrono::seconds(2));
  EXPECT_FALSE(result);
  EXPECT_TRUE(error == ERROR_OPERATION_ABORTED || error == ERROR_INVALID_HANDLE) << error;
  DWORD next = 0;
  EXPECT_FALSE(GetMailslotInfo(mailslot, nullptr, &next, nullptr, nullptr)) << "the reader loop's end";
}

TEST(Mailslot, BadNamesAndMissingOwnersFail) {
  struct Case {
    std::string name;
    DWORD createError;
    DWORD openError;
  };
  const Case cases[] = {
      {"\\\\.\\mailslot\\", ERROR_INVALID_NAME, ERROR_PATH_NOT_FOUND},
      {"C:\\file.txt", ERROR_INVALID_NAME, ERROR_PATH_NOT_FOUND},
      {"\\\\.\\mailslot\\" + std::string(200, 'x'), ERROR_FILENAME_EXCED_RANGE, ERROR_FILENAME_EXCED_RANGE},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(INVALID_HANDLE_VALUE, CreateMailslotA(c.name.c_str(), 0, 0, nullptr));
    EXPECT_EQ(c.createError, GetLastError()) << c.name;
    EXPECT_EQ(INVALID_HANDLE_VALUE, CreateFileA(c.name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_EQ(c.openError, GetLastError()) << c.name;
  }
  EXPECT_EQ(INVALID_HANDLE_VALUE,
            CreateFileA(SlotName("nobody").c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetLastError());
}

}  // namespace

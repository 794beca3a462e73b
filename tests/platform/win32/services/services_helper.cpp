// The second process of the service tests. Each command does one thing the
// tests need another process for and reports on standard output.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "win32/copy_data.h"
#include "win32/mailslot.h"
#include "win32/registry.h"
#include "win32/synch.h"

namespace {

int Print(long value) {
  std::printf("%ld\n", value);
  std::fflush(stdout);
  return 0;
}

void WaitForInputEnd() {
  char ignored[64];
  while (std::fread(ignored, 1, sizeof(ignored), stdin) > 0) {
  }
}

// registry-write KEY PREFIX COUNT: writes DWORD values PREFIXi = i under KEY
// of HKEY_CURRENT_USER, printing i after each; COUNT -1 writes until killed.
int RegistryWrite(const char* path, const std::string& prefix, long count) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
      ERROR_SUCCESS) {
    return 1;
  }
  for (long i = 0; count < 0 || i < count; ++i) {
    const DWORD value = static_cast<DWORD>(i);
    const std::string name = prefix + std::to_string(i);
    if (RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value)) !=
        ERROR_SUCCESS) {
      return 2;
    }
    Print(i);
  }
  return RegCloseKey(key) == ERROR_SUCCESS ? 0 : 3;
}

// registry-probe FOLDER: opens HKEY_LOCAL_MACHINE kept in FOLDER and prints
// the result of creating a key there.
int RegistryProbe(const char* folder) {
  setenv("TLX_REGISTRY_DIR", folder, 1);
  HKEY key = nullptr;
  const LSTATUS status =
      RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Probe", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  if (status == ERROR_SUCCESS) RegCloseKey(key);
  return Print(status);
}

// mailslot-own NAME: owns the mailslot, prints 0 (or the error) and keeps it
// until its standard input closes.
int MailslotOwn(const char* name) {
  HANDLE mailslot = CreateMailslotA(name, 0, MAILSLOT_WAIT_FOREVER, nullptr);
  Print(mailslot == INVALID_HANDLE_VALUE ? static_cast<long>(GetLastError()) : 0);
  WaitForInputEnd();
  return mailslot != INVALID_HANDLE_VALUE && CloseHandle(mailslot) ? 0 : 1;
}

// The bytes of the test message `index` of `size` bytes.
std::string MailslotMessage(int index, size_t size) {
  std::string message(size, '\0');
  for (size_t i = 0; i < size; ++i) message[i] = static_cast<char>('a' + (index + i) % 26);
  return message;
}

// mailslot-write NAME SIZE...: writes one message of each size, printing 0
// (or the error) for each.
int MailslotWrite(const char* name, int count, char** sizes) {
  HANDLE writer =
      CreateFileA(name, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (writer == INVALID_HANDLE_VALUE) return Print(static_cast<long>(GetLastError()));
  for (int i = 0; i < count; ++i) {
    const std::string message = MailslotMessage(i, std::strtoul(sizes[i], nullptr, 10));
    DWORD written = 0;
    const BOOL ok = WriteFile(writer, message.data(), static_cast<DWORD>(message.size()), &written, nullptr);
    Print(ok && written == message.size() ? 0 : static_cast<long>(GetLastError()));
  }
  return CloseHandle(writer) ? 0 : 1;
}

// copydata-serve CLASS TITLE: serves an endpoint until standard input closes.
// Texts: "echo:X" sends X back (identifier + 1) and answers 7; "die" ends the
// process in the middle of the call; "sleep" answers after three seconds;
// "subscribe" answers 1 and then sends "notice" to the sender.
int CopyDataServe(const char* windowClass, const char* windowTitle) {
  std::thread notifier;
  auto handler = [&](const tlx::win32::CopyDataAddress& sender, const COPYDATASTRUCT& data) -> LRESULT {
    const auto* bytes = static_cast<const char*>(data.lpData);
    const std::string text(bytes, strnlen(bytes, data.cbData));
    if (text.rfind("echo:", 0) == 0) {
      std::string reply = text.substr(5);
      const COPYDATASTRUCT back{data.dwData + 1, static_cast<DWORD>(reply.size() + 1), reply.data()};
      LRESULT answer = 0;
      return tlx::win32::SendCopyData(sender, back, 2000, &answer) && answer == 5 ? 7 : -1;
    }
    if (text == "die") _exit(3);
    if (text == "sleep") std::this_thread::sleep_for(std::chrono::seconds(3));
    if (text == "subscribe") {
      if (notifier.joinable()) notifier.join();
      notifier = std::thread([sender] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        char notice[] = "notice";
        const COPYDATASTRUCT data{0x5021, sizeof(notice), notice};
        Print(tlx::win32::SendCopyData(sender, data, 2000, nullptr) ? 0 : static_cast<long>(GetLastError()));
      });
    }
    return 1;
  };
  auto endpoint = tlx::win32::CopyDataEndpoint::Create({windowClass, windowTitle}, handler);
  Print(endpoint ? 0 : static_cast<long>(GetLastError()));
  WaitForInputEnd();
  endpoint.reset();
  if (notifier.joinable()) notifier.join();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "registry-write" && argc == 5) return RegistryWrite(argv[2], argv[3], std::atol(argv[4]));
  if (command == "registry-probe" && argc == 3) return RegistryProbe(argv[2]);
  if (command == "copydata-serve" && argc == 4) return CopyDataServe(argv[2], argv[3]);
  if (command == "mailslot-own" && argc == 3) return MailslotOwn(argv[2]);
  if (command == "mailslot-write" && argc >= 3) return MailslotWrite(argv[2], argc - 3, argv + 3);
  std::fprintf(stderr, "win32_services_helper: unknown command\n");
  return 64;
}

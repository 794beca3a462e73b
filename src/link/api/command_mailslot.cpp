#include "link/api/command_mailslot.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "link/os/tlx_log.h"
#include "link/tlx_bcf.h"
#include "ses/ses_coding.h"
#include "win32/mailslot.h"
#include "win32/synch.h"

namespace tlx::link {
namespace {

constexpr int kDecodeBufferSize = 1032;
constexpr int kRemoteKeyBytes = 5;

struct Mailslot {
  std::mutex lock;  // guards start and stop
  HANDLE handle = INVALID_HANDLE_VALUE;
  std::thread reader;
  std::mutex waitLock;
  std::condition_variable wake;
  bool stop = false;
  TlxCommandActions actions{};
};

Mailslot& mailslot() {
  static Mailslot m;
  return m;
}

int Number(const std::vector<std::string>& parts, size_t index) {
  return index < parts.size() ? static_cast<int>(std::strtol(parts[index].c_str(), nullptr, 10)) : 0;
}

void RemoteCommand(const char* arguments, const TlxCommandActions& actions) {
  if (std::strchr(arguments, ',') == nullptr) {
    actions.sendCommand(2, nullptr, 0);
    return;
  }
  const std::vector<std::string> parts = tlxSplit(",", arguments);
  const int kind = Number(parts, 0);
  char code[kDecodeBufferSize] = {};
  int length = 0;
  if (parts.size() > 1) {
    // A message holds at most kCommandMessageMax bytes, so its Base64 text
    // decodes well within the buffer.
    const std::string& text = parts[1];
    length = sesBase64Decode(text.c_str(), static_cast<int>(std::min(text.size(), size_t{kCommandMessageMax})), code);
  }
  switch (kind) {
    case 1:
      actions.sendCommand(1, code, kRemoteKeyBytes);
      break;
    case 2:
      actions.sendCommand(2, nullptr, 0);
      break;
    case 6:
      actions.sendCommand(6, code, length);
      break;
    default:
      break;
  }
}

void AutoPreset(const char* arguments, const TlxCommandActions& actions) {
  const std::vector<std::string> parts = tlxSplit(",", arguments);
  if (parts.empty()) return;
  const std::string& verb = parts[0];
  if (verb == "start") {
    actions.startAutoPreset(Number(parts, 1));
  } else if (verb == "cancel") {
    actions.cancelAutoPreset();
  } else if (verb == "finish") {
    actions.finishAutoPreset();
  } else if (verb == "result") {
    unsigned result[(TLX_AUTOPRESET_RESULT_SIZE + sizeof(unsigned) - 1) / sizeof(unsigned)] = {};
    actions.getAutoPresetResult(Number(parts, 1), result);
  }
}

void ReadCommands(Mailslot* m) {
  std::vector<char> buffer(kCommandMessageMax + 1);
  while (true) {
    {
      std::lock_guard guard(m->waitLock);
      if (m->stop) return;
    }
    DWORD next = MAILSLOT_NO_MESSAGE;
    if (!GetMailslotInfo(m->handle, nullptr, &next, nullptr, nullptr)) return;
    if (next == MAILSLOT_NO_MESSAGE) {
      std::unique_lock lock(m->waitLock);
      m->wake.wait_for(lock, std::chrono::milliseconds(kCommandPollMs), [&] { return m->stop; });
      continue;
    }
    DWORD read = 0;
    if (next <= kCommandMessageMax) {
      if (!ReadFile(m->handle, buffer.data(), kCommandMessageMax, &read, nullptr)) return;
      buffer[read] = '\0';
      tlxCommandExecute(buffer.data(), m->actions);
    } else {
      // Too long to execute: read whole at its own size and dropped.
      std::vector<char> dropped(std::min<DWORD>(next, kMailslotMaxMessageSize));
      if (!ReadFile(m->handle, dropped.data(), static_cast<DWORD>(dropped.size()), &read, nullptr)) return;
    }
  }
}

}  // namespace

void tlxCommandExecute(const char* text, const TlxCommandActions& actions) {
  const char* colon = std::strchr(text, ':');
  if (colon == nullptr) return;
  const std::string name(text, static_cast<size_t>(colon - text));
  const char* arguments = colon + 1;
  if (name == "RMCON") {
    RemoteCommand(arguments, actions);
  } else if (name == "TVSELECT") {
    const std::vector<std::string> parts = tlxSplit(",", arguments);
    actions.selectEx(Number(parts, 0), Number(parts, 1), Number(parts, 2), 0, 0);
  } else if (name == "TV-AUTOPRESET") {
    AutoPreset(arguments, actions);
  }
}

int tlxCommandMailslotStart(const TlxCommandActions& actions) {
  Mailslot& m = mailslot();
  std::lock_guard guard(m.lock);
  if (m.handle != INVALID_HANDLE_VALUE) return 0;
  m.handle = CreateMailslotA(kCommandMailslotName, 0, MAILSLOT_WAIT_FOREVER, nullptr);
  if (m.handle == INVALID_HANDLE_VALUE) {
    tlxLog("[ERR] command mailslot not created: %u\n", static_cast<unsigned>(GetLastError()));
    return -1;
  }
  m.actions = actions;
  m.stop = false;
  try {
    m.reader = std::thread(ReadCommands, &m);
  } catch (const std::system_error&) {
    CloseHandle(m.handle);
    m.handle = INVALID_HANDLE_VALUE;
    return -1;
  }
  return 0;
}

void tlxCommandMailslotStop() {
  Mailslot& m = mailslot();
  std::lock_guard guard(m.lock);
  if (m.handle == INVALID_HANDLE_VALUE) return;
  {
    std::lock_guard waitGuard(m.waitLock);
    m.stop = true;
  }
  m.wake.notify_all();
  m.reader.join();
  CloseHandle(m.handle);
  m.handle = INVALID_HANDLE_VALUE;
}

}  // namespace tlx::link

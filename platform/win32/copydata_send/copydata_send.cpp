// tlx_copydata_send: sends a text to a window of another process over the
// copy-data transport and prints what comes back.
//
//   tlx_copydata_send [--class NAME] [--title NAME] [--id N] [--timeout MS] [--follow] TEXT
//
// The window is found by class and title (either may be left out). The text
// goes with its terminator, under the identifier N (decimal or 0x hex,
// default 0x5021, the player's external-control identifier). Each record the
// window sends back during the call is printed as a line of text, then
// "result N" with the window's answer. With --follow the client serves an
// endpoint of its own (class "tlx_copydata_send", title "follow <pid>"), names
// it as the sender, and after the result prints each record the window sends
// it later, a line each, until interrupted (SIGINT or SIGTERM). Exit status: 0
// when delivered, 1 when the window was not found or did not answer (or the
// follower's endpoint could not be made), 2 for a usage error.
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

#include "win32/copy_data.h"
#include "win32/synch.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: tlx_copydata_send [--class NAME] [--title NAME] [--id N] [--timeout MS] [--follow] TEXT\n");
  return 2;
}

bool ParseNumber(const char* text, unsigned long long* value) {
  char* end = nullptr;
  errno = 0;
  *value = std::strtoull(text, &end, 0);
  return errno == 0 && end != text && *end == '\0';
}

// Replies (on the sending thread) and notices (on the follower's endpoint
// thread) are printed a line at a time.
std::mutex g_printLock;

LRESULT PrintRecord(const tlx::win32::CopyDataAddress&, const COPYDATASTRUCT& record) {
  const auto* bytes = static_cast<const char*>(record.lpData);
  std::lock_guard lock(g_printLock);
  std::printf("%s\n", std::string(bytes, strnlen(bytes, record.cbData)).c_str());
  std::fflush(stdout);
  return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
  const char* windowClass = nullptr;
  const char* windowTitle = nullptr;
  unsigned long long identifier = 0x5021;
  unsigned long long timeout = tlx::win32::kCopyDataDefaultTimeoutMs;
  const char* text = nullptr;
  bool follow = false;
  for (int i = 1; i < argc; ++i) {
    const bool hasValue = i + 1 < argc;
    if (std::strcmp(argv[i], "--class") == 0 && hasValue) {
      windowClass = argv[++i];
    } else if (std::strcmp(argv[i], "--title") == 0 && hasValue) {
      windowTitle = argv[++i];
    } else if (std::strcmp(argv[i], "--id") == 0 && hasValue) {
      if (!ParseNumber(argv[++i], &identifier)) return Usage();
    } else if (std::strcmp(argv[i], "--timeout") == 0 && hasValue) {
      if (!ParseNumber(argv[++i], &timeout) || timeout > 0xFFFFFFFEull) return Usage();
    } else if (std::strcmp(argv[i], "--follow") == 0) {
      follow = true;
    } else if (text == nullptr && argv[i][0] != '-') {
      text = argv[i];
    } else {
      return Usage();
    }
  }
  if (text == nullptr || (windowClass == nullptr && windowTitle == nullptr)) return Usage();

  tlx::win32::CopyDataAddress window;
  if (!tlx::win32::FindCopyDataEndpoint(windowClass, windowTitle, &window)) {
    std::fprintf(stderr, "tlx_copydata_send: no such window\n");
    return 1;
  }
  // The signals that end following are taken by sigwait, so every thread
  // started from here on leaves them blocked.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  if (follow) pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  std::unique_ptr<tlx::win32::CopyDataEndpoint> own;
  if (follow) {
    own = tlx::win32::CopyDataEndpoint::Create({"tlx_copydata_send", "follow " + std::to_string(getpid())},
                                               PrintRecord);
    if (own == nullptr) {
      std::fprintf(stderr, "tlx_copydata_send: cannot follow (error %u)\n", GetLastError());
      return 1;
    }
  }
  std::string message = text;
  COPYDATASTRUCT data{static_cast<ULONG_PTR>(identifier), static_cast<DWORD>(message.size() + 1), message.data()};
  LRESULT result = 0;
  if (!tlx::win32::SendCopyData(window, data, static_cast<DWORD>(timeout), &result,
                                own != nullptr ? &own->address() : nullptr, PrintRecord)) {
    std::fprintf(stderr, "tlx_copydata_send: not delivered (error %u)\n", GetLastError());
    return 1;
  }
  {
    std::lock_guard lock(g_printLock);
    std::printf("result %lld\n", static_cast<long long>(result));
    std::fflush(stdout);
  }
  if (follow) {
    int signal = 0;
    sigwait(&stopSignals, &signal);
  }
  return 0;
}

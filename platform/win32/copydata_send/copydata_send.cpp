// tlx_copydata_send: sends a text to a window of another process over the
// copy-data transport and prints what comes back.
//
//   tlx_copydata_send [--class NAME] [--title NAME] [--id N] [--timeout MS] TEXT
//
// The window is found by class and title (either may be left out). The text
// goes with its terminator, under the identifier N (decimal or 0x hex,
// default 0x5021, the player's external-control identifier). Each record the
// window sends back during the call is printed as a line of text, then
// "result N" with the window's answer. Exit status: 0 when delivered, 1 when
// the window was not found or did not answer, 2 for a usage error.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "win32/copy_data.h"
#include "win32/synch.h"

namespace {

int Usage() {
  std::fprintf(stderr, "usage: tlx_copydata_send [--class NAME] [--title NAME] [--id N] [--timeout MS] TEXT\n");
  return 2;
}

bool ParseNumber(const char* text, unsigned long long* value) {
  char* end = nullptr;
  errno = 0;
  *value = std::strtoull(text, &end, 0);
  return errno == 0 && end != text && *end == '\0';
}

}  // namespace

int main(int argc, char** argv) {
  const char* windowClass = nullptr;
  const char* windowTitle = nullptr;
  unsigned long long identifier = 0x5021;
  unsigned long long timeout = tlx::win32::kCopyDataDefaultTimeoutMs;
  const char* text = nullptr;
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
  std::string message = text;
  COPYDATASTRUCT data{static_cast<ULONG_PTR>(identifier), static_cast<DWORD>(message.size() + 1), message.data()};
  auto print = [](const tlx::win32::CopyDataAddress&, const COPYDATASTRUCT& reply) -> LRESULT {
    const auto* bytes = static_cast<const char*>(reply.lpData);
    std::printf("%s\n", std::string(bytes, strnlen(bytes, reply.cbData)).c_str());
    return TRUE;
  };
  LRESULT result = 0;
  if (!tlx::win32::SendCopyData(window, data, static_cast<DWORD>(timeout), &result, nullptr, print)) {
    std::fprintf(stderr, "tlx_copydata_send: not delivered (error %u)\n", GetLastError());
    return 1;
  }
  std::printf("result %lld\n", static_cast<long long>(result));
  return 0;
}

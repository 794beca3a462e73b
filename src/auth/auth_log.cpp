#include "auth/auth_log.h"

#include <cstdarg>
#include <cstdio>

#include "win32/debug_log.h"

namespace tlx::auth {

void tlxAuthLog(const char* format, ...) {
  // Closed when the library unloads.
  static win32::DebugLog log;
  static const bool opened [[maybe_unused]] = log.Open(win32::DebugLogFolder(), "TlxAuthenticationDbg.log");
  va_list args;
  va_start(args, format);
  log.WriteV(format, args);
  va_end(args);
}

std::string tlxFormat(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string text;
  if (length > 0) {
    text.resize(static_cast<size_t>(length));
    std::vsnprintf(text.data(), text.size() + 1, format, args);
  }
  va_end(args);
  return text;
}

}  // namespace tlx::auth

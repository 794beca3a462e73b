#include "common/common_log.h"

#include <cstdarg>
#include <cstdio>

namespace tlx::common {

void Log(const char* format, ...) {
  char line[512];
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(line, sizeof(line), format, arguments);
  va_end(arguments);
  std::fprintf(stderr, "TlxPcCommon: %s\n", line);
}

}  // namespace tlx::common

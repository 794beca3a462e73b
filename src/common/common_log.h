// The common library's diagnostics: one line each on standard error. The texts
// are for people reading a log; no behaviour depends on them.
#pragma once

namespace tlx::common {

void Log(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace tlx::common

// Diagnostics and text formatting shared by the library's parts.
#pragma once

#include <string>

namespace tlx::auth {

// Writes one diagnostic text to the library's debug log,
// "TlxAuthenticationDbg.log", opened with the first text when the debug logs
// are asked for (win32/debug_log.h); otherwise the text goes nowhere. The
// texts are for people reading a log; no behaviour depends on them.
void tlxAuthLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

// printf-style formatting into a string of whatever length the result needs.
std::string tlxFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace tlx::auth

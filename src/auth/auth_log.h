// Diagnostics and text formatting shared by the library's parts.
#pragma once

#include <string>

namespace tlx::auth {

// Writes one diagnostic text to standard output. The texts are for people
// reading a log; no behaviour depends on them.
void tlxAuthLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

// printf-style formatting into a string of whatever length the result needs.
std::string tlxFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace tlx::auth

// The link library's one log formatter. Every log text ("[ERR] ...",
// "[INFO] ...", "[API] ...") goes through it; it formats into 256 bytes (longer
// output is cut) and discards the text.
#pragma once

namespace tlx::link {

int tlxLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace tlx::link

// The engine's INI file, "winravix.ini" beside the running executable, read
// afresh on every use so an edit takes effect at the next graph build or
// placement.
#pragma once

#include <string>

namespace tlx::engine {

// The file's path. $TLX_ENGINE_INI, when set, names another file (looked at
// on every call, so a test can switch files). Otherwise the executable's path
// (at most 256 characters; $TLX_EXE_DIR replaces its folder) with its last
// component replaced by "winravix.ini", worked out once: "__dummy__.ini" when
// the path cannot be read, "__dummy__" when it is empty or has no folder
// (both relative names, normally absent).
std::u16string EngineIniPath();

// The value of `key` in `section`, at most 2048 characters; `fallback` when
// the file, section or key is missing.
std::u16string ReadEngineIniString(const char16_t* section, const char16_t* key, const std::u16string& fallback);

// The value as a signed integer (decimal or "0x" hexadecimal, sign kept);
// `fallback` when missing or empty.
int ReadEngineIniInt(const char16_t* section, const char16_t* key, int fallback);

}  // namespace tlx::engine

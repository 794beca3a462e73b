#include "engine/engine_ini.h"

#include <mutex>

#include "win32/modules.h"
#include "win32/paths.h"
#include "win32/profile.h"
#include "win32/text.h"

namespace tlx::engine {

namespace {

constexpr DWORD kExePathChars = 256;
constexpr DWORD kValueChars = 2048;

std::u16string IniBesideExecutable() {
  WCHAR path[kExePathChars + 1] = {};
  const DWORD length = GetModuleFileNameW(nullptr, path, kExePathChars + 1);
  if (length == 0 || length > kExePathChars) return u"__dummy__.ini";
  std::u16string text(path, length);
  const size_t slash = text.find_last_of(u"/\\");
  if (text.empty() || slash == std::u16string::npos) return u"__dummy__";
  return text.substr(0, slash + 1) + u"winravix.ini";
}

}  // namespace

std::u16string EngineIniPath() {
  const std::string overridden = win32::EnvironmentValue("TLX_ENGINE_INI");
  if (!overridden.empty()) return win32::Utf8ToUtf16(overridden);
  static std::once_flag once;
  static std::u16string path;
  std::call_once(once, [] { path = IniBesideExecutable(); });
  return path;
}

std::u16string ReadEngineIniString(const char16_t* section, const char16_t* key, const std::u16string& fallback) {
  WCHAR value[kValueChars + 1] = {};
  const std::u16string file = EngineIniPath();
  const DWORD length =
      GetPrivateProfileStringW(section, key, fallback.c_str(), value, kValueChars + 1, file.c_str());
  return std::u16string(value, length);
}

int ReadEngineIniInt(const char16_t* section, const char16_t* key, int fallback) {
  const std::u16string file = EngineIniPath();
  return static_cast<int>(GetPrivateProfileIntW(section, key, fallback, file.c_str()));
}

}  // namespace tlx::engine

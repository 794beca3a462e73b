#include "win32/paths.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "win32/synch.h"
#include "win32/text.h"

namespace tlx::win32 {
namespace {

std::string Getenv(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

std::string HomeFolder() {
  std::string home = Getenv("HOME");
  if (!home.empty()) return home;
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr) {
    return found->pw_dir;
  }
  return ".";
}

std::string XdgFolder(const char* variable, const char* belowHome) {
  std::string folder = Getenv(variable);
  // The XDG rules ignore a relative path.
  if (!folder.empty() && folder.front() == '/') return folder;
  return HomeFolder() + belowHome;
}

}  // namespace

std::string NativePath(std::string_view path) {
  std::string out(path);
  std::replace(out.begin(), out.end(), '\\', '/');
  return out;
}

size_t FileNameOffset(std::string_view path) {
  const size_t separator = path.find_last_of("/\\");
  return separator == std::string_view::npos ? 0 : separator + 1;
}

std::string FindFileNoCase(std::string_view path) {
  const std::string native = NativePath(path);
  std::error_code error;
  if (std::filesystem::is_regular_file(native, error)) return native;
  const size_t offset = FileNameOffset(native);
  const std::string name = FoldCase(std::string_view(native).substr(offset));
  const std::string folder = offset == 0 ? "." : native.substr(0, offset);
  std::vector<std::string> matches;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    const std::string candidate = entry.path().filename().string();
    if (FoldCase(candidate) == name && entry.is_regular_file(error)) matches.push_back(candidate);
  }
  if (matches.empty()) return {};
  std::sort(matches.begin(), matches.end());
  return native.substr(0, offset) + matches.front();
}

std::string XdgConfigHome() { return XdgFolder("XDG_CONFIG_HOME", "/.config"); }
std::string XdgDataHome() { return XdgFolder("XDG_DATA_HOME", "/.local/share"); }

std::string EnvironmentValue(std::string_view name) {
  std::string value = Getenv(std::string(name).c_str());
  if (!value.empty()) return value;
  if (EqualsNoCase(name, "ALLUSERSPROFILE")) return XdgDataHome() + "/tlx-player/all-users";
  if (EqualsNoCase(name, "CommonProgramFiles")) return XdgDataHome() + "/tlx-player/common-files";
  if (EqualsNoCase(name, "APPDATA")) return XdgConfigHome();
  return {};
}

DWORD CopyOut(std::string_view text, LPSTR buffer, DWORD size) {
  if (buffer == nullptr || text.size() >= size) return static_cast<DWORD>(text.size() + 1);
  std::memcpy(buffer, text.data(), text.size());
  buffer[text.size()] = '\0';
  return static_cast<DWORD>(text.size());
}

DWORD CopyOut(std::u16string_view text, LPWSTR buffer, DWORD size) {
  if (buffer == nullptr || text.size() >= size) return static_cast<DWORD>(text.size() + 1);
  std::copy(text.begin(), text.end(), buffer);
  buffer[text.size()] = 0;
  return static_cast<DWORD>(text.size());
}

DWORD CopyTruncated(std::string_view text, LPSTR buffer, DWORD size) {
  if (buffer == nullptr || size == 0) return 0;
  const size_t count = std::min<size_t>(text.size(), size - 1);
  std::copy_n(text.begin(), count, buffer);
  buffer[count] = '\0';
  return static_cast<DWORD>(count);
}

DWORD CopyTruncated(std::u16string_view text, LPWSTR buffer, DWORD size) {
  if (buffer == nullptr || size == 0) return 0;
  const size_t count = std::min<size_t>(text.size(), size - 1);
  std::copy_n(text.begin(), count, buffer);
  buffer[count] = 0;
  return static_cast<DWORD>(count);
}

namespace {

template <typename Char>
DWORD EnvironmentOut(const std::string& name, Char* buffer, DWORD size) {
  const std::string value = EnvironmentValue(name);
  if (value.empty()) {
    SetLastError(ERROR_ENVVAR_NOT_FOUND);
    return 0;
  }
  if constexpr (sizeof(Char) == 1) {
    return CopyOut(value, buffer, size);
  } else {
    return CopyOut(Utf8ToUtf16(value), buffer, size);
  }
}

std::string CurrentDirectory() {
  std::error_code error;
  std::string folder = std::filesystem::current_path(error).string();
  return error ? std::string() : folder;
}

std::string UserName() {
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr) {
    return found->pw_name;
  }
  return Getenv("USER");
}

std::string ComputerName() {
  char name[256] = {};
  if (gethostname(name, sizeof(name) - 1) != 0) return {};
  std::string host = name;
  return host.substr(0, host.find('.'));
}

// Windows names: success fills the buffer and reports the length (with the
// terminator for the user name, without it for the computer name); a short
// buffer reports the size needed with the terminator.
template <typename Char>
BOOL NameOut(const std::string& name, Char* buffer, LPDWORD size, bool countTerminator, DWORD shortBufferError) {
  if (size == nullptr || name.empty()) {
    SetLastError(size == nullptr ? ERROR_INVALID_PARAMETER : ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  DWORD copied;
  if constexpr (sizeof(Char) == 1) {
    copied = CopyOut(name, buffer, *size);
  } else {
    copied = CopyOut(Utf8ToUtf16(name), buffer, *size);
  }
  if (copied >= *size) {
    *size = copied;
    SetLastError(shortBufferError);
    return FALSE;
  }
  *size = countTerminator ? copied + 1 : copied;
  return TRUE;
}

}  // namespace
}  // namespace tlx::win32

using namespace tlx::win32;

DWORD GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size) {
  return name == nullptr ? 0 : EnvironmentOut(name, buffer, size);
}

DWORD GetEnvironmentVariableW(LPCWSTR name, LPWSTR buffer, DWORD size) {
  return name == nullptr ? 0 : EnvironmentOut(NarrowText(name), buffer, size);
}

DWORD GetCurrentDirectoryA(DWORD size, LPSTR buffer) { return CopyOut(CurrentDirectory(), buffer, size); }
DWORD GetCurrentDirectoryW(DWORD size, LPWSTR buffer) { return CopyOut(Utf8ToUtf16(CurrentDirectory()), buffer, size); }

BOOL GetUserNameA(LPSTR buffer, LPDWORD size) {
  return NameOut(UserName(), buffer, size, true, ERROR_INSUFFICIENT_BUFFER);
}
BOOL GetUserNameW(LPWSTR buffer, LPDWORD size) {
  return NameOut(UserName(), buffer, size, true, ERROR_INSUFFICIENT_BUFFER);
}
BOOL GetComputerNameA(LPSTR buffer, LPDWORD size) {
  return NameOut(ComputerName(), buffer, size, false, ERROR_BUFFER_OVERFLOW);
}
BOOL GetComputerNameW(LPWSTR buffer, LPDWORD size) {
  return NameOut(ComputerName(), buffer, size, false, ERROR_BUFFER_OVERFLOW);
}

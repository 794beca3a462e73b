#include "win32/debug_log.h"

#include <cstdlib>
#include <cstring>
#include <fstream>

namespace tlx::win32 {
namespace {

constexpr char kMarker[] = "580317264";
constexpr size_t kMarkerDigits = sizeof kMarker - 1;

bool Wanted(const std::filesystem::path& folder) {
  std::ifstream marker(folder / kMarker, std::ios::binary);
  char digits[kMarkerDigits] = {};
  return marker.read(digits, sizeof digits) && std::memcmp(digits, kMarker, kMarkerDigits) == 0;
}

}  // namespace

std::filesystem::path DebugLogFolder() {
  const char* dir = std::getenv("TLX_DEBUG_LOG_DIR");
  if (dir != nullptr && *dir != '\0') return dir;
  std::error_code error;
  return std::filesystem::temp_directory_path(error);
}

bool DebugLog::Open(const std::filesystem::path& folder, const char* name) {
  std::lock_guard lock(lock_);
  if (file_ == nullptr && Wanted(folder)) file_ = std::fopen((folder / name).c_str(), "w");
  return file_ != nullptr;
}

void DebugLog::Close() {
  std::lock_guard lock(lock_);
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
}

bool DebugLog::IsOpen() {
  std::lock_guard lock(lock_);
  return file_ != nullptr;
}

void DebugLog::Write(const char* format, ...) {
  va_list args;
  va_start(args, format);
  WriteV(format, args);
  va_end(args);
}

void DebugLog::WriteV(const char* format, va_list args) {
  std::lock_guard lock(lock_);
  if (file_ == nullptr) return;
  std::vfprintf(file_, format, args);
  std::fflush(file_);
}

}  // namespace tlx::win32

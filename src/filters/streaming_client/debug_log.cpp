#include "debug_log.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace {

constexpr const char* kMarker = "580317264";
constexpr size_t kMarkerDigits = 9;

void Write(std::FILE* file, const char* format, va_list args) {
  if (file == nullptr) return;
  std::vfprintf(file, format, args);
  std::fflush(file);
}

std::filesystem::path DefaultFolder() {
  const char* dir = std::getenv("TLX_DEBUG_LOG_DIR");
  if (dir != nullptr && *dir != '\0') return dir;
  std::error_code error;
  return std::filesystem::temp_directory_path(error);
}

}  // namespace

StreamDebugLog& StreamDebugLog::Instance() {
  // Destroyed, and its files closed, when the module unloads: the module may
  // be loaded and freed many times in one process.
  static StreamDebugLog log;
  static const bool opened [[maybe_unused]] = log.Open(DefaultFolder());
  return log;
}

bool StreamDebugLog::Open(const std::filesystem::path& folder) {
  std::lock_guard<std::mutex> lock(fLock);
  if (fSink != nullptr) return true;
  std::ifstream marker(folder / kMarker, std::ios::binary);
  char digits[kMarkerDigits] = {};
  if (!marker.read(digits, sizeof digits) || std::memcmp(digits, kMarker, kMarkerDigits) != 0) return false;
  fSink = std::fopen((folder / "ts.log").c_str(), "w");
  fDebug = std::fopen((folder / "TlxStreamingClientDbg.log").c_str(), "w");
  if (fSink == nullptr || fDebug == nullptr) {
    if (fSink != nullptr) std::fclose(fSink);
    if (fDebug != nullptr) std::fclose(fDebug);
    fSink = fDebug = nullptr;
    return false;
  }
  std::fputs("clock\tts\tsize\tbuffuredFrames\n", fSink);
  std::fputs("Type\tCounter\tSysClock\tStreamTime\tTimeStamp\tFramesInBuffer\tFrameSize\tDropped\n", fDebug);
  std::fflush(fSink);
  std::fflush(fDebug);
  return true;
}

void StreamDebugLog::Close() {
  std::lock_guard<std::mutex> lock(fLock);
  if (fSink != nullptr) std::fclose(fSink);
  if (fDebug != nullptr) std::fclose(fDebug);
  fSink = fDebug = nullptr;
}

bool StreamDebugLog::IsOpen() {
  std::lock_guard<std::mutex> lock(fLock);
  return fSink != nullptr;
}

void StreamDebugLog::Sink(const char* format, ...) {
  std::lock_guard<std::mutex> lock(fLock);
  va_list args;
  va_start(args, format);
  Write(fSink, format, args);
  va_end(args);
}

void StreamDebugLog::Debug(const char* format, ...) {
  std::lock_guard<std::mutex> lock(fLock);
  va_list args;
  va_start(args, format);
  Write(fDebug, format, args);
  va_end(args);
}

// The player's debug logs: text files that parts of the player write for
// people chasing a fault, and only when asked for. They all live in one
// folder, TLX_DEBUG_LOG_DIR (default: the system's temporary folder), and a
// log is opened only when that folder holds the marker file "580317264"
// whose first nine bytes are those digits; otherwise nothing is opened and a
// write does nothing.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <mutex>

namespace tlx::win32 {

// The debug logs' folder.
std::filesystem::path DebugLogFolder();

// One debug log file; safe to write from any thread.
class DebugLog {
 public:
  DebugLog() = default;
  ~DebugLog() { Close(); }
  DebugLog(const DebugLog&) = delete;
  DebugLog& operator=(const DebugLog&) = delete;

  // Opens the file `name` in `folder`, emptied, when the folder's marker asks
  // for debug logs; true when it is open (also when it was already).
  bool Open(const std::filesystem::path& folder, const char* name);
  void Close();
  bool IsOpen();

  // printf-style text, flushed at once; nothing while the log is closed.
  void Write(const char* format, ...) __attribute__((format(printf, 2, 3)));
  void WriteV(const char* format, va_list args) __attribute__((format(printf, 2, 0)));

 private:
  std::mutex lock_;
  std::FILE* file_ = nullptr;  // under lock_
};

}  // namespace tlx::win32

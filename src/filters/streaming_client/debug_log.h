// The source's two debug logs (win32/debug_log.h says when they are written),
// "ts.log" (one line per frame a sink takes in) and
// "TlxStreamingClientDbg.log" (drops and delivered samples).
#pragma once

#include <filesystem>

#include "win32/debug_log.h"

class StreamDebugLog {
 public:
  // The process's logs, opened at module load in the debug logs' folder.
  static StreamDebugLog& Instance();

  // Opens both logs in `folder` when its marker says so; true when they are open.
  bool Open(const std::filesystem::path& folder);
  void Close();
  bool IsOpen();

  // printf-style lines; nothing happens while the logs are closed.
  void Sink(const char* format, ...) __attribute__((format(printf, 2, 3)));
  void Debug(const char* format, ...) __attribute__((format(printf, 2, 3)));

  StreamDebugLog() = default;
  StreamDebugLog(const StreamDebugLog&) = delete;
  StreamDebugLog& operator=(const StreamDebugLog&) = delete;

 private:
  tlx::win32::DebugLog fSink;
  tlx::win32::DebugLog fDebug;
};

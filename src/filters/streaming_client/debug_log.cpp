#include "debug_log.h"

#include <cstdarg>

StreamDebugLog& StreamDebugLog::Instance() {
  // Destroyed, and its files closed, when the module unloads: the module may
  // be loaded and freed many times in one process.
  static StreamDebugLog log;
  static const bool opened [[maybe_unused]] = log.Open(tlx::win32::DebugLogFolder());
  return log;
}

bool StreamDebugLog::Open(const std::filesystem::path& folder) {
  if (fSink.IsOpen()) return true;
  if (!fSink.Open(folder, "ts.log") || !fDebug.Open(folder, "TlxStreamingClientDbg.log")) {
    Close();
    return false;
  }
  fSink.Write("clock\tts\tsize\tbuffuredFrames\n");
  fDebug.Write("Type\tCounter\tSysClock\tStreamTime\tTimeStamp\tFramesInBuffer\tFrameSize\tDropped\n");
  return true;
}

void StreamDebugLog::Close() {
  fSink.Close();
  fDebug.Close();
}

bool StreamDebugLog::IsOpen() { return fSink.IsOpen(); }

void StreamDebugLog::Sink(const char* format, ...) {
  va_list args;
  va_start(args, format);
  fSink.WriteV(format, args);
  va_end(args);
}

void StreamDebugLog::Debug(const char* format, ...) {
  va_list args;
  va_start(args, format);
  fDebug.WriteV(format, args);
  va_end(args);
}

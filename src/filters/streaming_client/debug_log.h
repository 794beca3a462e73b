// The source's two debug logs, "ts.log" (one line per frame a sink takes in)
// and "TlxStreamingClientDbg.log" (drops and delivered samples). They are
// written only when the log folder holds the marker file "580317264" whose
// first nine bytes are those digits; otherwise nothing is opened.
#pragma once

#include <cstdio>
#include <filesystem>
#include <mutex>

class StreamDebugLog {
 public:
  // The process's logs, opened at module load from TLX_DEBUG_LOG_DIR (default:
  // the system's temporary folder).
  static StreamDebugLog& Instance();

  // Opens both logs in `folder` when its marker says so; true when they are open.
  bool Open(const std::filesystem::path& folder);
  void Close();
  bool IsOpen();

  // printf-style lines; nothing happens while the logs are closed.
  void Sink(const char* format, ...) __attribute__((format(printf, 2, 3)));
  void Debug(const char* format, ...) __attribute__((format(printf, 2, 3)));

  StreamDebugLog() = default;
  ~StreamDebugLog() { Close(); }
  StreamDebugLog(const StreamDebugLog&) = delete;
  StreamDebugLog& operator=(const StreamDebugLog&) = delete;

 private:
  std::mutex fLock;
  std::FILE* fSink = nullptr;
  std::FILE* fDebug = nullptr;
};

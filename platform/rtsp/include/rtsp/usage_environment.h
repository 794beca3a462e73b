// The environment every RTSP/RTP object reports through: the scheduler it
// runs on, the text of the last result, and a log sink.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "rtsp/task_scheduler.h"

class UsageEnvironment {
 public:
  using LogSink = std::function<void(std::string_view line)>;

  virtual ~UsageEnvironment() = default;
  TaskScheduler& taskScheduler() const { return fScheduler; }

  // Replaces the result text with the concatenation of the given pieces.
  void setResultMsg(std::string_view msg, std::string_view msg2 = {}, std::string_view msg3 = {});
  // The message followed by the text of the error number (errno when 0).
  void setResultErrMsg(std::string_view msg, int err = 0);
  const char* getResultMsg() const { return fResultMsg.c_str(); }

  // Where log lines go; the default sink discards them. An empty function
  // restores the default.
  void setLogSink(LogSink sink) { fLogSink = std::move(sink); }
  void log(std::string_view line) const;

 protected:
  explicit UsageEnvironment(TaskScheduler& scheduler) : fScheduler(scheduler) {}

 private:
  TaskScheduler& fScheduler;
  std::string fResultMsg;
  LogSink fLogSink;
};

class BasicUsageEnvironment : public UsageEnvironment {
 public:
  static BasicUsageEnvironment* createNew(TaskScheduler& scheduler);

 protected:
  explicit BasicUsageEnvironment(TaskScheduler& scheduler) : UsageEnvironment(scheduler) {}
};

// The layer's version banner.
inline constexpr const char* kRtspLayerVersion = "RTSP/RTP layer 1.0";

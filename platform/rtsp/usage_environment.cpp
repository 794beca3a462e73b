#include "rtsp/usage_environment.h"

#include <cerrno>
#include <cstring>

void UsageEnvironment::setResultMsg(std::string_view msg, std::string_view msg2,
                                    std::string_view msg3) {
  fResultMsg.assign(msg);
  fResultMsg.append(msg2);
  fResultMsg.append(msg3);
}

void UsageEnvironment::setResultErrMsg(std::string_view msg, int err) {
  if (err == 0) err = errno;
  char buffer[128];
  const char* text = strerror_r(err, buffer, sizeof buffer);
  setResultMsg(msg, text);
}

void UsageEnvironment::log(std::string_view line) const {
  if (fLogSink) fLogSink(line);
}

BasicUsageEnvironment* BasicUsageEnvironment::createNew(TaskScheduler& scheduler) {
  return new BasicUsageEnvironment(scheduler);
}

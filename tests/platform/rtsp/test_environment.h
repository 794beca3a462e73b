// A scheduler and environment for the layer's unit tests.
#pragma once

#include <memory>

#include "rtsp/task_scheduler.h"
#include "rtsp/usage_environment.h"

struct TestEnvironment {
  std::unique_ptr<BasicTaskScheduler> scheduler{BasicTaskScheduler::createNew()};
  std::unique_ptr<BasicUsageEnvironment> env{BasicUsageEnvironment::createNew(*scheduler)};
};

#include "dsound/mixer.h"

#include <mutex>

#include "dsound/backend.h"

namespace tlx::dsound {
namespace {

std::mutex g_counterLock;
DeviceCounter g_counter;

UINT CountDevices() {
  DeviceCounter counter;
  {
    std::lock_guard hold(g_counterLock);
    counter = g_counter;
  }
  if (counter) return counter();
  const SdlOutputDevices devices = QuerySdlOutputDevices();
  // SDL audio that cannot start has no device at all.
  if (devices.driver.empty()) return 0;
  return CountSoundDevices(devices.driver, devices.count);
}

}  // namespace

UINT CountSoundDevices(const std::string& driver, int reported) {
  // These drivers play without hardware; whatever they report, they are one
  // device.
  if (driver == "dummy" || driver == "disk") return 1;
  if (reported < 0) return 1;
  return static_cast<UINT>(reported);
}

void SetDeviceCounter(DeviceCounter counter) {
  std::lock_guard hold(g_counterLock);
  g_counter = std::move(counter);
}

}  // namespace tlx::dsound

UINT mixerGetNumDevs() { return tlx::dsound::CountDevices(); }

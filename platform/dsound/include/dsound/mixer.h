// The number of sound devices, under its Windows name. The player asks it
// before it builds a graph with sound, and builds one without sound when it
// is 0.
#pragma once

#include <functional>
#include <string>

#include "win32/types.h"

// SDL audio's output devices; its "dummy" and "disk" drivers, and a count SDL
// does not know, count as one device, so a machine without a sound card still
// plays through them.
extern "C" UINT mixerGetNumDevs();

namespace tlx::dsound {

// The count mixerGetNumDevs gives for SDL's answer (see QuerySdlOutputDevices).
UINT CountSoundDevices(const std::string& driver, int reported);

// Replaces where mixerGetNumDevs takes its count (a test forces 0); an empty
// function restores SDL's answer.
using DeviceCounter = std::function<UINT()>;
void SetDeviceCounter(DeviceCounter counter);

}  // namespace tlx::dsound

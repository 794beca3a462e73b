// The sound-device count: SDL audio's answer, and the count a test forces.
#include <gtest/gtest.h>

#include <cstdlib>

#include "dsound/mixer.h"

namespace {

TEST(SoundDeviceCount, FollowsSdlsAnswerWithTheDriversWithoutHardwareAsOne) {
  struct Case {
    const char* driver;
    int reported;
    UINT expected;
  };
  const Case cases[] = {
      {"dummy", 0, 1}, {"disk", 0, 1}, {"disk", -1, 1},       // play without hardware
      {"pulseaudio", -1, 1},                                  // SDL does not know
      {"alsa", 0, 0},  {"alsa", 1, 1}, {"pulseaudio", 3, 3},  // as reported
  };
  for (const Case& c : cases) {
    EXPECT_EQ(tlx::dsound::CountSoundDevices(c.driver, c.reported), c.expected) << c.driver << " " << c.reported;
  }
}

TEST(SoundDeviceCount, MixerCountsTheStartedDriverOrWhatATestForces) {
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  EXPECT_EQ(mixerGetNumDevs(), 1u);
  tlx::dsound::SetDeviceCounter([] { return 0u; });
  EXPECT_EQ(mixerGetNumDevs(), 0u);
  tlx::dsound::SetDeviceCounter(nullptr);
  EXPECT_EQ(mixerGetNumDevs(), 1u);
  // Sound that cannot start has no device.
  setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
  EXPECT_EQ(mixerGetNumDevs(), 0u);
  unsetenv("SDL_AUDIODRIVER");
}

}  // namespace

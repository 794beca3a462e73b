// Sound output through SDL audio. SDL converts our format for the hardware, so
// the callback always gets the buffer's own format in 10 ms periods.
#include <SDL.h>

#include <mutex>

#include "dsound/backend.h"
#include "dsound/dsound.h"

namespace tlx::dsound {
namespace {

// The audio subsystem is started with the first backend and shut down with the
// last one.
std::mutex g_systemLock;
int g_systemUsers = 0;

bool AcquireAudioSystem() {
  std::lock_guard hold(g_systemLock);
  if (g_systemUsers == 0 && SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
  ++g_systemUsers;
  return true;
}

void ReleaseAudioSystem() {
  std::lock_guard hold(g_systemLock);
  if (--g_systemUsers != 0) return;
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
  // With nothing else of SDL started, its remaining state (the driver's
  // device lists among it) goes too.
  if (SDL_WasInit(SDL_INIT_EVERYTHING) == 0) SDL_Quit();
}

class SdlOutput final : public Output {
 public:
  explicit SdlOutput(SDL_AudioDeviceID device) : device_(device) {}
  ~SdlOutput() override { Close(); }
  // Waits for a running callback to return.
  void Close() override {
    if (!closed_) SDL_CloseAudioDevice(device_);
    closed_ = true;
  }
  void Play() override { SDL_PauseAudioDevice(device_, 0); }
  void Pause() override { SDL_PauseAudioDevice(device_, 1); }
  bool Paced() const override { return true; }

 private:
  const SDL_AudioDeviceID device_;
  bool closed_ = false;
};

void PullCallback(void* stream, Uint8* out, int bytes) {
  static_cast<Stream*>(stream)->Pull(out, static_cast<DWORD>(bytes));
}

class SdlBackend final : public Backend {
 public:
  ~SdlBackend() override { ReleaseAudioSystem(); }

  HRESULT Open(const WAVEFORMATEX& format, Stream* stream, std::unique_ptr<Output>* output) override {
    SDL_AudioSpec want{};
    want.freq = static_cast<int>(format.nSamplesPerSec);
    want.format = AUDIO_S16SYS;
    want.channels = static_cast<Uint8>(format.nChannels);
    want.samples = static_cast<Uint16>(format.nSamplesPerSec / 100);
    want.callback = PullCallback;
    want.userdata = stream;
    SDL_AudioSpec have{};
    const SDL_AudioDeviceID device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (device == 0) return DSERR_NODRIVER;
    *output = std::make_unique<SdlOutput>(device);
    return DS_OK;
  }
};

}  // namespace

std::shared_ptr<Backend> CreateSdlBackend() {
  if (!AcquireAudioSystem()) return nullptr;
  return std::make_shared<SdlBackend>();
}

SdlOutputDevices QuerySdlOutputDevices() {
  if (!AcquireAudioSystem()) return {};
  const char* driver = SDL_GetCurrentAudioDriver();
  SdlOutputDevices devices{driver != nullptr ? driver : "", SDL_GetNumAudioDevices(0)};
  ReleaseAudioSystem();
  return devices;
}

}  // namespace tlx::dsound

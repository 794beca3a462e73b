// Where the sound of a secondary buffer goes: the seam between the buffers and
// the outputs that pull from them. Each device gets a backend from the
// process's backend factory (SDL audio unless a test installs another), and
// each secondary buffer opens one output on it.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "win32/types.h"
#include "win32/wave_format.h"

namespace tlx::dsound {

// What an output pulls from: one secondary buffer.
class Stream {
 public:
  // Copies the next `bytes` bytes under the play cursor into `out` at the
  // buffer's volume (silence while stopped or lost), moves the cursor on and
  // sets the events of the notification offsets it passed.
  virtual void Pull(BYTE* out, DWORD bytes) = 0;

 protected:
  ~Stream() = default;
};

// The output of one secondary buffer.
class Output {
 public:
  // Closes the output if Close has not.
  virtual ~Output() = default;
  // Once this has returned, the stream is never pulled again.
  virtual void Close() = 0;
  virtual void Play() = 0;
  virtual void Pause() = 0;
  // True when pulls follow a real device's pace, so that the play position
  // between two pulls is estimated from the time since the last one.
  virtual bool Paced() const = 0;
  // A simulated loss of the buffer's memory; Restore ends it.
  virtual bool Lost() const { return false; }
  virtual void Restore() {}
};

class Backend {
 public:
  virtual ~Backend() = default;
  // Opens an output for `stream` in `format` (16-bit PCM, 1, 2 or 6 channels).
  // DSERR_NODRIVER (or another error) when it cannot.
  virtual HRESULT Open(const WAVEFORMATEX& format, Stream* stream, std::unique_ptr<Output>* output) = 0;
};

// Makes the backend of a new device; null when there is no sound output.
using BackendFactory = std::function<std::shared_ptr<Backend>()>;

// Replaces the factory for devices made from now on; an empty one restores
// SDL audio.
void SetBackendFactory(BackendFactory factory);

// SDL audio: the audio subsystem is started with the first backend alive and
// shut down with the last; every output is an SDL audio device in the buffer's
// format with a period of 10 ms. Null when the subsystem cannot start.
std::shared_ptr<Backend> CreateSdlBackend();

// SDL audio's own answer about output devices: the driver it starts and the
// count it reports, negative when it does not know. An empty driver and 0
// when the audio subsystem cannot start.
struct SdlOutputDevices {
  std::string driver;
  int count = 0;
};
SdlOutputDevices QuerySdlOutputDevices();

}  // namespace tlx::dsound

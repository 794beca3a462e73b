// A backend whose outputs play only when told to: a test advances an output by
// a number of bytes on its own thread and gets back the bytes that played. It
// can also refuse to open outputs and simulate a lost buffer.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "dsound/backend.h"

namespace tlx::dsound {

class ManualOutput {
 public:
  // Pulls `bytes` bytes from the buffer, synchronously; empty once the buffer
  // has closed its output.
  std::vector<BYTE> Advance(DWORD bytes);
  bool Playing() const;
  bool Closed() const;
  // While lost, the buffer reports DSBSTATUS_BUFFERLOST; Restore ends it.
  void SetLost(bool lost);
  const WAVEFORMATEX& Format() const { return format_; }

 private:
  friend class ManualBackend;
  friend class ManualOutputHandle;
  ManualOutput(const WAVEFORMATEX& format, Stream* stream) : format_(format), stream_(stream) {}

  mutable std::mutex lock_;  // held while pulling; guards stream_
  const WAVEFORMATEX format_;
  Stream* stream_;  // null once closed
  std::atomic<bool> playing_{false};
  std::atomic<bool> lost_{false};
};

class ManualBackend : public Backend {
 public:
  HRESULT Open(const WAVEFORMATEX& format, Stream* stream, std::unique_ptr<Output>* output) override;

  // Opens fail with `result` from now on (S_OK to open again).
  void FailOpens(HRESULT result);
  // Every output opened so far, oldest first, closed ones included.
  std::vector<std::shared_ptr<ManualOutput>> Outputs() const;
  // The newest output that is still open, or null.
  std::shared_ptr<ManualOutput> Current() const;

  // Installs a factory that gives every new device this backend.
  static std::shared_ptr<ManualBackend> Install();

 private:
  mutable std::mutex lock_;
  HRESULT failure_ = S_OK;
  std::vector<std::shared_ptr<ManualOutput>> outputs_;
};

}  // namespace tlx::dsound

#include "dsound/manual_backend.h"

#include "dsound/dsound.h"

namespace tlx::dsound {

// The output a buffer owns; closing it detaches the stream.
class ManualOutputHandle final : public Output {
 public:
  explicit ManualOutputHandle(std::shared_ptr<ManualOutput> output) : output_(std::move(output)) {}
  ~ManualOutputHandle() override { Close(); }
  void Close() override {
    std::lock_guard hold(output_->lock_);
    output_->stream_ = nullptr;
    output_->playing_ = false;
  }
  void Play() override { output_->playing_ = true; }
  void Pause() override { output_->playing_ = false; }
  bool Paced() const override { return false; }
  // Read while the output pulls, so without its lock.
  bool Lost() const override { return output_->lost_; }
  void Restore() override { output_->SetLost(false); }

 private:
  std::shared_ptr<ManualOutput> output_;
};

std::vector<BYTE> ManualOutput::Advance(DWORD bytes) {
  // Held while pulling, so the buffer cannot close its output meanwhile.
  std::lock_guard hold(lock_);
  if (stream_ == nullptr) return {};
  std::vector<BYTE> played(bytes);
  stream_->Pull(played.data(), bytes);
  return played;
}

bool ManualOutput::Playing() const { return playing_; }

bool ManualOutput::Closed() const {
  std::lock_guard hold(lock_);
  return stream_ == nullptr;
}

void ManualOutput::SetLost(bool lost) { lost_ = lost; }

HRESULT ManualBackend::Open(const WAVEFORMATEX& format, Stream* stream, std::unique_ptr<Output>* output) {
  std::lock_guard hold(lock_);
  if (failure_ != S_OK) return failure_;
  std::shared_ptr<ManualOutput> opened(new ManualOutput(format, stream));
  outputs_.push_back(opened);
  *output = std::make_unique<ManualOutputHandle>(std::move(opened));
  return DS_OK;
}

void ManualBackend::FailOpens(HRESULT result) {
  std::lock_guard hold(lock_);
  failure_ = result;
}

std::vector<std::shared_ptr<ManualOutput>> ManualBackend::Outputs() const {
  std::lock_guard hold(lock_);
  return outputs_;
}

std::shared_ptr<ManualOutput> ManualBackend::Current() const {
  std::lock_guard hold(lock_);
  for (auto it = outputs_.rbegin(); it != outputs_.rend(); ++it) {
    if (!(*it)->Closed()) return *it;
  }
  return nullptr;
}

std::shared_ptr<ManualBackend> ManualBackend::Install() {
  auto backend = std::make_shared<ManualBackend>();
  SetBackendFactory([backend] { return backend; });
  return backend;
}

}  // namespace tlx::dsound

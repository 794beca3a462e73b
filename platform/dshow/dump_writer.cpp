#include "dshow/internal/dump_writer.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "dshow/base_pin.h"
#include "win32/text.h"

namespace tlx::dshow {
namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

class DumpWriter;

class DumpInputPin final : public CBaseInputPin {
 public:
  DumpInputPin(DumpWriter* writer, CCritSec* lock, HRESULT* hr);

  HRESULT CheckMediaType(const CMediaType*) override { return S_OK; }
  STDMETHODIMP Receive(IMediaSample* sample) override;
  STDMETHODIMP EndOfStream() override;
  STDMETHODIMP EndFlush() override;

 private:
  DumpWriter* writer_;
};

class DumpWriter final : public CBaseFilter, public IFileSinkFilter {
 public:
  DumpWriter(IUnknown* outer, HRESULT* hr)
      : CBaseFilter("Dump writer", outer, &filterLock_, CLSID_Dump), input_(this, &filterLock_, hr) {}

  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override {
    if (iid == IID_IFileSinkFilter) return GetInterface(static_cast<IFileSinkFilter*>(this), object);
    return CBaseFilter::NonDelegatingQueryInterface(iid, object);
  }

  int GetPinCount() override { return 1; }
  CBasePin* GetPin(int index) override { return index == 0 ? &input_ : nullptr; }

  // The file is made afresh each time the filter starts, and closed when it
  // stops, so a stopped graph leaves a complete file behind.
  STDMETHODIMP Pause() override {
    CAutoLock lock(&filterLock_);
    if (m_State == State_Stopped) Open();
    return CBaseFilter::Pause();
  }

  STDMETHODIMP Stop() override {
    CAutoLock lock(&filterLock_);
    HRESULT hr = CBaseFilter::Stop();
    Close();
    endOfStream_ = false;
    completed_ = false;
    return hr;
  }

  STDMETHODIMP Run(REFERENCE_TIME start) override {
    CAutoLock lock(&filterLock_);
    HRESULT hr = CBaseFilter::Run(start);
    if (SUCCEEDED(hr)) Complete();
    return hr;
  }

  // The end of the stream completes the writer as it completes a renderer:
  // EC_COMPLETE once, while running.
  void EndOfStream() {
    CAutoLock lock(&filterLock_);
    endOfStream_ = true;
    Complete();
  }

  void Flushed() {
    CAutoLock lock(&filterLock_);
    endOfStream_ = false;
    completed_ = false;
  }

  // IFileSinkFilter
  STDMETHODIMP SetFileName(LPCOLESTR file, const AM_MEDIA_TYPE* mt) override {
    if (file == nullptr) return E_POINTER;
    CAutoLock lock(&filterLock_);
    name_ = std::u16string(file, win32::WideLength(file));
    if (mt != nullptr) {
      type_.emplace(*mt);
    } else {
      type_.reset();
    }
    return S_OK;
  }

  STDMETHODIMP GetCurFile(LPOLESTR* file, AM_MEDIA_TYPE* mt) override {
    if (file == nullptr) return E_POINTER;
    CAutoLock lock(&filterLock_);
    *file = nullptr;
    if (name_.empty()) return E_FAIL;
    *file = CoTaskStringCopy(name_);
    if (*file == nullptr) return E_OUTOFMEMORY;
    if (mt != nullptr) {
      if (type_) return CopyMediaType(mt, &*type_);
      std::memset(mt, 0, sizeof *mt);
    }
    return S_OK;
  }

  // Appends one sample's bytes; the streaming thread's side.
  void Write(IMediaSample* sample) {
    CAutoLock lock(&writeLock_);
    if (!file_) return;
    BYTE* data = nullptr;
    LONG length = sample->GetActualDataLength();
    if (FAILED(sample->GetPointer(&data)) || length <= 0) return;
    if (std::fwrite(data, 1, static_cast<size_t>(length), file_.get()) != static_cast<size_t>(length)) {
      std::fprintf(stderr, "dump writer: writing %s failed (%s); the rest of the stream is not written\n",
                   path_.c_str(), std::strerror(errno));
      file_.reset();
    }
  }

 private:
  void Open() {
    CAutoLock lock(&writeLock_);
    if (name_.empty()) return;
    path_ = win32::Utf16ToUtf8(name_);
    file_.reset(std::fopen(path_.c_str(), "wb"));
    // Unbuffered: each sample reaches the file, or fails, as it arrives.
    if (file_) std::setvbuf(file_.get(), nullptr, _IONBF, 0);
    if (!file_) {
      std::fprintf(stderr, "dump writer: cannot create %s (%s); nothing is written\n", path_.c_str(),
                   std::strerror(errno));
    }
  }

  void Complete() {
    if (!endOfStream_ || completed_ || m_State != State_Running) return;
    completed_ = true;
    NotifyEvent(EC_COMPLETE, S_OK, 0);
  }

  void Close() {
    CAutoLock lock(&writeLock_);
    if (file_ && std::fclose(file_.release()) != 0) {
      std::fprintf(stderr, "dump writer: closing %s failed (%s); its end may be missing\n", path_.c_str(),
                   std::strerror(errno));
    }
  }

  CCritSec filterLock_;
  CCritSec writeLock_;  // the file, shared by the streaming thread and state changes
  DumpInputPin input_;
  std::u16string name_;
  std::optional<CMediaType> type_;
  std::string path_;
  FileHandle file_;
  bool endOfStream_ = false;
  bool completed_ = false;
};

DumpInputPin::DumpInputPin(DumpWriter* writer, CCritSec* lock, HRESULT* hr)
    : CBaseInputPin("Dump input", writer, lock, hr, u"Input"), writer_(writer) {}

HRESULT DumpInputPin::Receive(IMediaSample* sample) {
  HRESULT hr = CBaseInputPin::Receive(sample);
  if (hr != S_OK) return hr;
  writer_->Write(sample);
  return S_OK;
}

HRESULT DumpInputPin::EndOfStream() {
  HRESULT hr = CheckStreaming();
  if (hr != S_OK) return hr;
  writer_->EndOfStream();
  return S_OK;
}

HRESULT DumpInputPin::EndFlush() {
  writer_->Flushed();
  return CBaseInputPin::EndFlush();
}

}  // namespace

CUnknown* CreateDumpWriter(IUnknown* outer, HRESULT* hr) { return new DumpWriter(outer, hr); }

}  // namespace tlx::dshow

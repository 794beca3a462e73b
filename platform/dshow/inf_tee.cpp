#include "dshow/internal/inf_tee.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "dshow/base_pin.h"

namespace tlx::dshow {
namespace {

class InfTee;

class TeeInputPin final : public CBaseInputPin {
 public:
  TeeInputPin(InfTee* tee, CCritSec* lock, HRESULT* hr);

  HRESULT CheckMediaType(const CMediaType* mt) override;
  STDMETHODIMP Receive(IMediaSample* sample) override;
  STDMETHODIMP EndOfStream() override;
  STDMETHODIMP BeginFlush() override;
  STDMETHODIMP EndFlush() override;
  STDMETHODIMP NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

 private:
  InfTee* tee_;
};

// An output passes the input's own samples on, read-only, so it works on the
// input's allocator, which the upstream filter commits and decommits.
class TeeOutputPin final : public CBaseOutputPin {
 public:
  TeeOutputPin(InfTee* tee, CCritSec* lock, HRESULT* hr, const std::u16string& name);

  HRESULT CheckMediaType(const CMediaType* mt) override;
  HRESULT GetMediaType(int position, CMediaType* mt) override;
  HRESULT CompleteConnect(IPin* receivePin) override;
  HRESULT DecideAllocator(IMemInputPin* pin, IMemAllocator** allocator) override;
  HRESULT DecideBufferSize(IMemAllocator*, ALLOCATOR_PROPERTIES*) override { return S_OK; }
  HRESULT Active() override { return S_OK; }
  HRESULT Inactive() override {
    m_bRunTimeError = FALSE;
    return S_OK;
  }

 private:
  InfTee* tee_;
};

class InfTee final : public CBaseFilter {
 public:
  InfTee(IUnknown* outer, HRESULT* hr);

  int GetPinCount() override;
  CBasePin* GetPin(int index) override;

  // The input's connection type; invalid while the input is unconnected.
  CMediaType InputType();
  // The input's allocator with a reference, or null.
  IMemAllocator* InputAllocator();
  // Adds a free output unless one is free already.
  void KeepOneOutputFree();
  // The outputs connected now, in pin order. Pins live as long as the
  // filter, so the pointers stay good.
  std::vector<TeeOutputPin*> ConnectedOutputs();

  CCritSec m_csReceive;  // serialises the stream through the input

 private:
  CCritSec filterLock_;
  std::mutex pinsLock_;  // the pin list, read on the streaming thread too
  std::unique_ptr<TeeInputPin> input_;
  std::vector<std::unique_ptr<TeeOutputPin>> outputs_;
  int nextOutputNumber_ = 1;
};

// ------------------------------------------------------------- the input

TeeInputPin::TeeInputPin(InfTee* tee, CCritSec* lock, HRESULT* hr)
    : CBaseInputPin("Tee input", tee, lock, hr, u"Input"), tee_(tee) {}

HRESULT TeeInputPin::CheckMediaType(const CMediaType* mt) {
  // With outputs connected, a new input type must suit every one of them.
  for (TeeOutputPin* out : tee_->ConnectedOutputs()) {
    if (out->GetConnected()->QueryAccept(mt) != S_OK) return VFW_E_TYPE_NOT_ACCEPTED;
  }
  return S_OK;
}

HRESULT TeeInputPin::Receive(IMediaSample* sample) {
  CAutoLock lock(&tee_->m_csReceive);
  HRESULT hr = CBaseInputPin::Receive(sample);
  if (hr != S_OK) return hr;
  // A branch that refuses does not hold up the others.
  for (TeeOutputPin* out : tee_->ConnectedOutputs()) out->Deliver(sample);
  return S_OK;
}

HRESULT TeeInputPin::EndOfStream() {
  CAutoLock lock(&tee_->m_csReceive);
  HRESULT hr = CheckStreaming();
  if (hr != S_OK) return hr;
  for (TeeOutputPin* out : tee_->ConnectedOutputs()) out->DeliverEndOfStream();
  return S_OK;
}

HRESULT TeeInputPin::BeginFlush() {
  HRESULT hr = CBaseInputPin::BeginFlush();
  if (FAILED(hr)) return hr;
  for (TeeOutputPin* out : tee_->ConnectedOutputs()) out->DeliverBeginFlush();
  return S_OK;
}

HRESULT TeeInputPin::EndFlush() {
  for (TeeOutputPin* out : tee_->ConnectedOutputs()) out->DeliverEndFlush();
  return CBaseInputPin::EndFlush();
}

HRESULT TeeInputPin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
  CBasePin::NewSegment(start, stop, rate);
  for (TeeOutputPin* out : tee_->ConnectedOutputs()) out->DeliverNewSegment(start, stop, rate);
  return S_OK;
}

// ------------------------------------------------------------ the outputs

TeeOutputPin::TeeOutputPin(InfTee* tee, CCritSec* lock, HRESULT* hr, const std::u16string& name)
    : CBaseOutputPin("Tee output", tee, lock, hr, name.c_str()), tee_(tee) {}

HRESULT TeeOutputPin::CheckMediaType(const CMediaType* mt) {
  CMediaType input = tee_->InputType();
  if (!input.IsValid()) return VFW_E_NOT_CONNECTED;
  return input == *mt ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT TeeOutputPin::GetMediaType(int position, CMediaType* mt) {
  if (position < 0) return E_INVALIDARG;
  CMediaType input = tee_->InputType();
  if (!input.IsValid()) return VFW_E_NOT_CONNECTED;
  if (position > 0) return VFW_S_NO_MORE_ITEMS;
  *mt = input;
  return S_OK;
}

HRESULT TeeOutputPin::CompleteConnect(IPin* receivePin) {
  HRESULT hr = CBaseOutputPin::CompleteConnect(receivePin);
  if (FAILED(hr)) return hr;
  tee_->KeepOneOutputFree();
  return S_OK;
}

HRESULT TeeOutputPin::DecideAllocator(IMemInputPin* pin, IMemAllocator** allocator) {
  if (pin == nullptr) return VFW_E_NOT_CONNECTED;
  *allocator = tee_->InputAllocator();
  if (*allocator == nullptr) return VFW_E_NO_ALLOCATOR;
  HRESULT hr = pin->NotifyAllocator(*allocator, TRUE);
  if (FAILED(hr)) {
    (*allocator)->Release();
    *allocator = nullptr;
  }
  return hr;
}

// -------------------------------------------------------------- the filter

InfTee::InfTee(IUnknown* outer, HRESULT* hr) : CBaseFilter("Infinite Pin Tee", outer, &filterLock_, CLSID_InfTee) {
  input_ = std::make_unique<TeeInputPin>(this, &filterLock_, hr);
  KeepOneOutputFree();
}

int InfTee::GetPinCount() {
  std::lock_guard lock(pinsLock_);
  return 1 + static_cast<int>(outputs_.size());
}

CBasePin* InfTee::GetPin(int index) {
  std::lock_guard lock(pinsLock_);
  if (index == 0) return input_.get();
  if (index < 0 || index > static_cast<int>(outputs_.size())) return nullptr;
  return outputs_[static_cast<size_t>(index - 1)].get();
}

CMediaType InfTee::InputType() {
  CAutoLock lock(&filterLock_);
  return input_->IsConnected() ? input_->CurrentMediaType() : CMediaType();
}

IMemAllocator* InfTee::InputAllocator() {
  CAutoLock lock(&filterLock_);
  IMemAllocator* allocator = input_->Allocator();
  if (allocator != nullptr) allocator->AddRef();
  return allocator;
}

void InfTee::KeepOneOutputFree() {
  std::lock_guard lock(pinsLock_);
  for (const auto& out : outputs_) {
    if (!out->IsConnected()) return;
  }
  std::string number = std::to_string(nextOutputNumber_++);
  std::u16string name = u"Output" + std::u16string(number.begin(), number.end());
  HRESULT hr = S_OK;
  outputs_.push_back(std::make_unique<TeeOutputPin>(this, &filterLock_, &hr, name));
  IncrementPinVersion();
}

std::vector<TeeOutputPin*> InfTee::ConnectedOutputs() {
  std::lock_guard lock(pinsLock_);
  std::vector<TeeOutputPin*> connected;
  for (const auto& out : outputs_) {
    if (out->IsConnected()) connected.push_back(out.get());
  }
  return connected;
}

}  // namespace

CUnknown* CreateInfTee(IUnknown* outer, HRESULT* hr) { return new InfTee(outer, hr); }

}  // namespace tlx::dshow

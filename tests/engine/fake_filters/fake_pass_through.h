// A filter with one input and one output that passes every sample on
// unchanged, with its media type, and records what it received: the fake
// decryptor, decoders and post filter are this filter under their classes.
#pragma once

#include "dshow/transform_filter.h"
#include "fake_recorder.h"

class FakePassThrough : public CTransInPlaceFilter, public FakeRecorder {
 public:
  FakePassThrough(REFCLSID clsid, const char* name, IUnknown* outer, HRESULT* hr);

  // A plain pass-through of class `kClass`, for a module's factory template.
  template <const CLSID& kClass>
  static CUnknown* CreateInstance(IUnknown* outer, HRESULT* hr) {
    return new FakePassThrough(kClass, "fake pass-through", outer, hr);
  }

  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override;

  // Any type: the next filter decides.
  HRESULT CheckInputType(const CMediaType*) override { return S_OK; }
  HRESULT Transform(IMediaSample* sample) override;
  HRESULT EndOfStream() override;
};

#include "fake_pass_through.h"

FakePassThrough::FakePassThrough(REFCLSID clsid, const char* name, IUnknown* outer, HRESULT* hr)
    : CTransInPlaceFilter(name, outer, clsid, hr, false) {}

HRESULT FakePassThrough::NonDelegatingQueryInterface(REFIID iid, void** object) {
  if (iid == IID_IFakeFilterControl) return GetInterface(static_cast<IFakeFilterControl*>(this), object);
  return CTransInPlaceFilter::NonDelegatingQueryInterface(iid, object);
}

HRESULT FakePassThrough::Transform(IMediaSample* sample) {
  NoteSample(sample);
  return S_OK;
}

HRESULT FakePassThrough::EndOfStream() {
  NoteEndOfStream();
  return CTransInPlaceFilter::EndOfStream();
}

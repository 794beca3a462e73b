// The base of an object that serves IBasicAudio (volume and balance); the
// derived object implements the four properties.
#pragma once

#include "com/unknown_base.h"
#include "dshow/interfaces.h"

class CBasicAudio : public CUnknown, public IBasicAudio {
 public:
  CBasicAudio(const char* name, IUnknown* outer) : CUnknown(name, outer) {}
  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override {
    if (iid == IID_IBasicAudio) return GetInterface(static_cast<IBasicAudio*>(this), object);
    if (iid == IID_IDispatch) return GetInterface(static_cast<IDispatch*>(this), object);
    return CUnknown::NonDelegatingQueryInterface(iid, object);
  }
  TLX_NO_DISPATCH
};

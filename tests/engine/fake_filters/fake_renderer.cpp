#include "fake_renderer.h"

#include "dshow/errors.h"

FakeRenderer::FakeRenderer(REFCLSID clsid, const char* name, REFGUID majorType, IUnknown* outer, HRESULT* hr)
    : CBaseRenderer(clsid, name, outer, hr), majorType_(majorType) {}

HRESULT FakeRenderer::NonDelegatingQueryInterface(REFIID iid, void** object) {
  if (iid == IID_IFakeFilterControl) return GetInterface(static_cast<IFakeFilterControl*>(this), object);
  return CBaseRenderer::NonDelegatingQueryInterface(iid, object);
}

HRESULT FakeRenderer::CheckMediaType(const CMediaType* mt) {
  const HRESULT scripted = ScriptedResult("CheckMediaType");
  if (scripted != S_OK) return scripted;
  return mt != nullptr && mt->majortype == majorType_ ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT FakeRenderer::DoRenderSample(IMediaSample* sample) {
  NoteSample(sample);
  return S_OK;
}

HRESULT FakeRenderer::EndOfStream() {
  NoteEndOfStream();
  return CBaseRenderer::EndOfStream();
}

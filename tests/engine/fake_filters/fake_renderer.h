// A renderer that takes every media type of one major type (or none, while
// its "CheckMediaType" is scripted to fail) and records the samples and ends
// of stream it receives; the end of its stream reaches the
// graph as EC_COMPLETE, as a renderer's does. The fake audio and video
// renderers are this renderer with their interfaces.
#pragma once

#include "dshow/base_renderer.h"
#include "fake_recorder.h"

class FakeRenderer : public CBaseRenderer, public FakeRecorder {
 public:
  FakeRenderer(REFCLSID clsid, const char* name, REFGUID majorType, IUnknown* outer, HRESULT* hr);

  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override;

  HRESULT CheckMediaType(const CMediaType* mt) override;
  HRESULT DoRenderSample(IMediaSample* sample) override;
  HRESULT EndOfStream() override;

 private:
  const GUID majorType_;
};

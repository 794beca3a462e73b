// Seeking: the pass-through that answers IMediaSeeking and IMediaPosition on
// behalf of the filter upstream of a pin, its renderer form that also knows
// the media time being shown, and CSourceSeeking for source pins.
#pragma once

#include "com/unknown_base.h"
#include "dshow/crit_sec.h"
#include "dshow/interfaces.h"

// IMediaPosition in seconds over an object's own IMediaSeeking.
class CMediaPosition : public IMediaPosition {
 public:
  TLX_NO_DISPATCH
  STDMETHODIMP get_Duration(REFTIME* length) override;
  STDMETHODIMP put_CurrentPosition(REFTIME time) override;
  STDMETHODIMP get_CurrentPosition(REFTIME* time) override;
  STDMETHODIMP get_StopTime(REFTIME* time) override;
  STDMETHODIMP put_StopTime(REFTIME time) override;
  STDMETHODIMP get_PrerollTime(REFTIME* time) override;
  STDMETHODIMP put_PrerollTime(REFTIME time) override;
  STDMETHODIMP put_Rate(double rate) override;
  STDMETHODIMP get_Rate(double* rate) override;
  STDMETHODIMP CanSeekForward(LONG* can) override;
  STDMETHODIMP CanSeekBackward(LONG* can) override;

 protected:
  ~CMediaPosition() = default;
  // The seeking interface the positions go through.
  virtual IMediaSeeking* Seeking() = 0;
};

class CPosPassThru : public CUnknown, public IMediaSeeking, public CMediaPosition {
 public:
  // `pin` is the input pin whose upstream peer answers the calls.
  CPosPassThru(const char* name, IUnknown* outer, HRESULT* hr, IPin* pin);

  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override;

  TLX_MEDIA_SEEKING_METHODS(TLX_DECLARE_OVERRIDE)

 protected:
  IMediaSeeking* Seeking() override { return this; }
  // The upstream peer's IMediaSeeking, with a reference; null (and
  // VFW_E_NOT_CONNECTED or E_NOTIMPL in *hr) when there is none.
  IMediaSeeking* PeerSeeking(HRESULT* hr);

 private:
  IPin* m_pPin;
};

class CRendererPosPassThru : public CPosPassThru {
 public:
  CRendererPosPassThru(const char* name, IUnknown* outer, HRESULT* hr, IPin* pin);

  // Remembers the stream time of the sample being rendered, so the current
  // position is what is shown rather than what the source read last.
  HRESULT RegisterMediaTime(IMediaSample* sample);
  HRESULT RegisterMediaTime(LONGLONG start, LONGLONG stop);
  HRESULT ResetMediaTime();
  HRESULT EOS();

  STDMETHODIMP GetCurrentPosition(LONGLONG* current) override;

 private:
  CCritSec m_PositionLock;
  LONGLONG m_StartMedia = 0;
  LONGLONG m_EndMedia = 0;
  bool m_bReset = true;
};

class CSourceSeeking : public CUnknown, public IMediaSeeking {
 public:
  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override;

  TLX_MEDIA_SEEKING_METHODS(TLX_DECLARE_OVERRIDE)

 protected:
  CSourceSeeking(const char* name, IUnknown* outer, HRESULT* hr, CCritSec* lock);

  // Called with the new values in place; the source restarts from them.
  virtual HRESULT ChangeStart() = 0;
  virtual HRESULT ChangeStop() = 0;
  virtual HRESULT ChangeRate() = 0;

  REFERENCE_TIME m_rtDuration;
  REFERENCE_TIME m_rtStart = 0;
  REFERENCE_TIME m_rtStop;
  double m_dRateSeeking = 1.0;
  DWORD m_dwSeekingCaps;
  CCritSec* m_pLock;
};

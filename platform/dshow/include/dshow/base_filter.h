// The base of every filter: state, reference clock, graph membership, pin
// enumeration and event notification.
#pragma once

#include <atomic>
#include <string>

#include "com/unknown_base.h"
#include "dshow/crit_sec.h"
#include "dshow/interfaces.h"
#include "dshow/ref_time.h"

class CBasePin;

class CBaseFilter : public CUnknown, public IBaseFilter, public IAMovieSetup {
 public:
  // `lock` guards the filter's state and is owned by the derived filter.
  CBaseFilter(const char* name, IUnknown* outer, CCritSec* lock, REFCLSID clsid);
  CBaseFilter(const char* name, IUnknown* outer, CCritSec* lock, REFCLSID clsid, HRESULT* hr);
  ~CBaseFilter() override;

  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override;

  // IPersist
  STDMETHODIMP GetClassID(CLSID* clsid) override;

  // IMediaFilter. Stop deactivates the connected pins, Pause activates them
  // (from Stopped), Run passes the start time to them.
  STDMETHODIMP Stop() override;
  STDMETHODIMP Pause() override;
  STDMETHODIMP Run(REFERENCE_TIME start) override;
  STDMETHODIMP GetState(DWORD milliseconds, FILTER_STATE* state) override;
  STDMETHODIMP SetSyncSource(IReferenceClock* clock) override;
  STDMETHODIMP GetSyncSource(IReferenceClock** clock) override;

  // IBaseFilter
  STDMETHODIMP EnumPins(IEnumPins** pins) override;
  STDMETHODIMP FindPin(LPCWSTR id, IPin** pin) override;
  STDMETHODIMP QueryFilterInfo(FILTER_INFO* info) override;
  STDMETHODIMP JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;
  STDMETHODIMP QueryVendorInfo(LPWSTR* vendorInfo) override;

  // IAMovieSetup: (un)registers GetSetupData in the filter category.
  STDMETHODIMP Register() override;
  STDMETHODIMP Unregister() override;

  // Pins, by index; the filter owns them.
  virtual int GetPinCount() = 0;
  virtual CBasePin* GetPin(int index) = 0;
  // Changes whenever the set of pins changes, so enumerators notice.
  virtual LONG GetPinVersion() { return m_PinVersion; }
  void IncrementPinVersion() { ++m_PinVersion; }

  virtual const AMOVIESETUP_FILTER* GetSetupData() { return nullptr; }

  // Stream time: the reference clock's time minus the run start.
  virtual HRESULT StreamTime(CRefTime& streamTime);

  BOOL IsActive();
  BOOL IsStopped();
  FILTER_STATE State() const { return m_State; }
  REFERENCE_TIME StartTime() const { return m_tStart; }
  IFilterGraph* GetFilterGraph() const { return m_pGraph; }
  const std::u16string& Name() const { return m_pName; }

  // Sends an event to the graph; EC_COMPLETE names this filter as its source.
  HRESULT NotifyEvent(long code, LONG_PTR param1, LONG_PTR param2);
  // Asks the graph to reconnect `pin`, with `mt` when given.
  HRESULT ReconnectPin(IPin* pin, const AM_MEDIA_TYPE* mt);

 protected:
  std::atomic<FILTER_STATE> m_State{State_Stopped};
  IReferenceClock* m_pClock = nullptr;  // with a reference
  // Set by Run; streaming threads read it through StreamTime meanwhile.
  std::atomic<REFERENCE_TIME> m_tStart{0};
  CLSID m_clsid;
  CCritSec* m_pLock;
  std::u16string m_pName;
  // Not counted: the graph holds the filter, not the other way round.
  IFilterGraph* m_pGraph = nullptr;
  IMediaEventSink* m_pSink = nullptr;
  LONG m_PinVersion = 1;
};

// Reference clocks: CBaseReferenceClock keeps the time from going back and
// serves one-shot and periodic advises; the system clock counts from the
// monotonic tick.
#pragma once

#include <vector>

#include "com/unknown_base.h"
#include "dshow/am_thread.h"
#include "dshow/interfaces.h"

class CBaseReferenceClock : public CUnknown, public IReferenceClock {
 public:
  CBaseReferenceClock(const char* name, IUnknown* outer, HRESULT* hr);
  ~CBaseReferenceClock() override;

  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override;

  // The private time, held back so it never goes back: S_FALSE while it
  // stands still.
  STDMETHODIMP GetTime(REFERENCE_TIME* time) override;
  // Signals the event once the clock reaches base + offset.
  STDMETHODIMP AdviseTime(REFERENCE_TIME baseTime, REFERENCE_TIME streamTime, HEVENT event,
                          DWORD_PTR* cookie) override;
  // Releases the semaphore at start and every period after it.
  STDMETHODIMP AdvisePeriodic(REFERENCE_TIME startTime, REFERENCE_TIME periodTime, HSEMAPHORE semaphore,
                              DWORD_PTR* cookie) override;
  // S_FALSE for an unknown cookie.
  STDMETHODIMP Unadvise(DWORD_PTR cookie) override;

  // The clock's own time source, in 100-ns units; the advise thread reads it
  // directly, from its own thread.
  virtual REFERENCE_TIME GetPrivateTime();

  // Advises pending at the moment.
  size_t PendingAdvises();

  // How often the advise thread reads the clock. It polls rather than sleeping
  // until the next advise, because a clock driven by a device may stall and
  // jump.
  static constexpr DWORD kPollMilliseconds = 2;

 protected:
  // Fires every advise that is due at `now`.
  void TriggerAdvises(REFERENCE_TIME now);
  // Ends the advise thread. A derived clock whose GetTime reads its own
  // members calls this first in its destructor.
  void StopAdviseThread();

  CCritSec m_Lock;
  REFERENCE_TIME m_rtLastGotTime = 0;

 private:
  class AdviseThread;
  struct Advise {
    DWORD_PTR cookie;
    HANDLE handle;
    REFERENCE_TIME time;
    REFERENCE_TIME period;  // 0 for a one-shot advise
  };
  HRESULT AddAdvise(Advise advise, DWORD_PTR* cookie);
  DWORD AdviseThreadProc();

  CCritSec m_AdviseLock;
  std::vector<Advise> m_Advises;
  DWORD_PTR m_NextCookie = 1;
  HANDLE m_hThread = nullptr;
  CAMEvent m_StopThread{TRUE};
};

// The clock a graph takes when no filter offers one.
class CSystemClock : public CBaseReferenceClock, public IPersist {
 public:
  CSystemClock(const char* name, IUnknown* outer, HRESULT* hr);
  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override;
  STDMETHODIMP GetClassID(CLSID* clsid) override;

  static CUnknown* CreateInstance(IUnknown* outer, HRESULT* hr);
};

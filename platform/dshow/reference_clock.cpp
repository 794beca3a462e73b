#include "dshow/reference_clock.h"

#include <algorithm>

#include "dshow/ref_time.h"
#include "win32/threads.h"
#include "win32/timing.h"

CBaseReferenceClock::CBaseReferenceClock(const char* name, IUnknown* outer, HRESULT*) : CUnknown(name, outer) {}

CBaseReferenceClock::~CBaseReferenceClock() { StopAdviseThread(); }

void CBaseReferenceClock::StopAdviseThread() {
  HANDLE thread;
  {
    CAutoLock lock(&m_AdviseLock);
    thread = m_hThread;
    m_hThread = nullptr;
  }
  if (thread == nullptr) return;
  m_StopThread.Set();
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
}

HRESULT CBaseReferenceClock::NonDelegatingQueryInterface(REFIID iid, void** object) {
  if (iid == IID_IReferenceClock) return GetInterface(static_cast<IReferenceClock*>(this), object);
  return CUnknown::NonDelegatingQueryInterface(iid, object);
}

REFERENCE_TIME CBaseReferenceClock::GetPrivateTime() {
  return static_cast<REFERENCE_TIME>(GetTickCount64()) * (UNITS / MILLISECONDS);
}

HRESULT CBaseReferenceClock::GetTime(REFERENCE_TIME* time) {
  if (time == nullptr) return E_POINTER;
  CAutoLock lock(&m_Lock);
  REFERENCE_TIME now = GetPrivateTime();
  if (now > m_rtLastGotTime) {
    m_rtLastGotTime = now;
    *time = now;
    return S_OK;
  }
  *time = m_rtLastGotTime;
  return S_FALSE;
}

HRESULT CBaseReferenceClock::AddAdvise(Advise advise, DWORD_PTR* cookie) {
  CAutoLock lock(&m_AdviseLock);
  if (m_hThread == nullptr) {
    m_hThread = CreateThread(
        nullptr, 0, [](void* self) { return static_cast<CBaseReferenceClock*>(self)->AdviseThreadProc(); }, this, 0,
        nullptr);
    if (m_hThread == nullptr) return E_OUTOFMEMORY;
  }
  advise.cookie = m_NextCookie++;
  m_Advises.push_back(advise);
  *cookie = advise.cookie;
  return S_OK;
}

HRESULT CBaseReferenceClock::AdviseTime(REFERENCE_TIME baseTime, REFERENCE_TIME streamTime, HEVENT event,
                                        DWORD_PTR* cookie) {
  if (cookie == nullptr) return E_POINTER;
  *cookie = 0;
  if (event == nullptr) return E_INVALIDARG;
  // A time already past fires at the next poll.
  REFERENCE_TIME when;
  if (__builtin_add_overflow(baseTime, streamTime, &when) || when <= 0) return E_INVALIDARG;
  return AddAdvise({0, event, when, 0}, cookie);
}

HRESULT CBaseReferenceClock::AdvisePeriodic(REFERENCE_TIME startTime, REFERENCE_TIME periodTime,
                                            HSEMAPHORE semaphore, DWORD_PTR* cookie) {
  if (cookie == nullptr) return E_POINTER;
  *cookie = 0;
  if (semaphore == nullptr || startTime < 0 || periodTime <= 0) return E_INVALIDARG;
  return AddAdvise({0, semaphore, startTime, periodTime}, cookie);
}

HRESULT CBaseReferenceClock::Unadvise(DWORD_PTR cookie) {
  CAutoLock lock(&m_AdviseLock);
  auto it = std::find_if(m_Advises.begin(), m_Advises.end(), [&](const Advise& a) { return a.cookie == cookie; });
  if (it == m_Advises.end()) return S_FALSE;
  m_Advises.erase(it);
  return S_OK;
}

size_t CBaseReferenceClock::PendingAdvises() {
  CAutoLock lock(&m_AdviseLock);
  return m_Advises.size();
}

void CBaseReferenceClock::TriggerAdvises(REFERENCE_TIME now) {
  CAutoLock lock(&m_AdviseLock);
  for (auto it = m_Advises.begin(); it != m_Advises.end();) {
    if (it->time > now) {
      ++it;
    } else if (it->period == 0) {
      SetEvent(it->handle);
      it = m_Advises.erase(it);
    } else {
      ReleaseSemaphore(it->handle, 1, nullptr);
      // After a jump, one release per poll until the advise catches up.
      it->time += it->period;
      ++it;
    }
  }
}

DWORD CBaseReferenceClock::AdviseThreadProc() {
  while (!m_StopThread.Wait(kPollMilliseconds)) {
    if (PendingAdvises() == 0) continue;
    TriggerAdvises(GetPrivateTime());
  }
  return 0;
}

CSystemClock::CSystemClock(const char* name, IUnknown* outer, HRESULT* hr) : CBaseReferenceClock(name, outer, hr) {}

HRESULT CSystemClock::NonDelegatingQueryInterface(REFIID iid, void** object) {
  if (iid == IID_IPersist) return GetInterface(static_cast<IPersist*>(this), object);
  return CBaseReferenceClock::NonDelegatingQueryInterface(iid, object);
}

HRESULT CSystemClock::GetClassID(CLSID* clsid) {
  if (clsid == nullptr) return E_POINTER;
  *clsid = CLSID_SystemClock;
  return S_OK;
}

CUnknown* CSystemClock::CreateInstance(IUnknown* outer, HRESULT* hr) {
  return new CSystemClock("system clock", outer, hr);
}

#include "dshow/source.h"

#include <algorithm>
#include <string>

#include "win32/timing.h"

CSource::CSource(const char* name, IUnknown* outer, REFCLSID clsid, HRESULT*)
    : CBaseFilter(name, outer, &m_cStateLock, clsid) {}

CSource::~CSource() {
  // Pins remove themselves as they go.
  while (!m_paStreams.empty()) delete m_paStreams.back();
}

int CSource::GetPinCount() {
  CAutoLock lock(&m_cStateLock);
  return static_cast<int>(m_paStreams.size());
}

CBasePin* CSource::GetPin(int index) {
  CAutoLock lock(&m_cStateLock);
  if (index < 0 || index >= static_cast<int>(m_paStreams.size())) return nullptr;
  return m_paStreams[static_cast<size_t>(index)];
}

HRESULT CSource::AddPin(CSourceStream* pin) {
  CAutoLock lock(&m_cStateLock);
  m_paStreams.push_back(pin);
  IncrementPinVersion();
  return S_OK;
}

HRESULT CSource::RemovePin(CSourceStream* pin) {
  CAutoLock lock(&m_cStateLock);
  auto it = std::find(m_paStreams.begin(), m_paStreams.end(), pin);
  if (it == m_paStreams.end()) return S_FALSE;
  m_paStreams.erase(it);
  IncrementPinVersion();
  return S_OK;
}

HRESULT CSource::FindPin(LPCWSTR id, IPin** pin) {
  if (id == nullptr || pin == nullptr) return E_POINTER;
  *pin = nullptr;
  int number = 0;
  for (LPCWSTR c = id; *c != 0; ++c) {
    if (*c < u'0' || *c > u'9' || number > 10000) return VFW_E_NOT_FOUND;
    number = number * 10 + (*c - u'0');
  }
  CBasePin* found = *id != 0 ? GetPin(number - 1) : nullptr;
  if (found == nullptr) return VFW_E_NOT_FOUND;
  *pin = found;
  found->AddRef();
  return S_OK;
}

int CSource::FindPinNumber(IPin* pin) {
  CAutoLock lock(&m_cStateLock);
  for (size_t i = 0; i < m_paStreams.size(); ++i) {
    if (static_cast<IPin*>(m_paStreams[i]) == pin) return static_cast<int>(i);
  }
  return -1;
}

CSourceStream::CSourceStream(const char* objectName, HRESULT* hr, CSource* filter, LPCWSTR name)
    : CBaseOutputPin(objectName, filter, filter->pStateLock(), hr, name), m_pFilter(filter) {
  HRESULT added = filter->AddPin(this);
  if (hr != nullptr && FAILED(added)) *hr = added;
}

CSourceStream::~CSourceStream() { m_pFilter->RemovePin(this); }

HRESULT CSourceStream::GetMediaType(CMediaType*) { return E_UNEXPECTED; }

HRESULT CSourceStream::GetMediaType(int position, CMediaType* mt) {
  if (position < 0) return E_INVALIDARG;
  if (position > 0) return VFW_S_NO_MORE_ITEMS;
  return GetMediaType(mt);
}

HRESULT CSourceStream::CheckMediaType(const CMediaType* mt) {
  CAutoLock lock(m_pFilter->pStateLock());
  CMediaType mine;
  if (FAILED(GetMediaType(0, &mine))) return E_FAIL;
  return mine == *mt ? S_OK : E_FAIL;
}

HRESULT CSourceStream::QueryId(LPWSTR* id) {
  if (id == nullptr) return E_POINTER;
  int number = m_pFilter->FindPinNumber(this);
  if (number < 0) return E_FAIL;
  std::string text = std::to_string(number + 1);
  *id = CoTaskStringCopy(std::u16string(text.begin(), text.end()));
  return *id != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT CSourceStream::Active() {
  CAutoLock lock(m_pFilter->pStateLock());
  if (m_pFilter->IsActive()) return S_FALSE;
  if (!IsConnected()) return S_OK;
  HRESULT hr = CBaseOutputPin::Active();
  if (FAILED(hr)) return hr;
  if (ThreadExists()) return VFW_E_WRONG_STATE;
  if (!Create()) return E_FAIL;
  hr = Init();
  if (FAILED(hr)) return hr;
  return Pause();
}

HRESULT CSourceStream::Inactive() {
  CAutoLock lock(m_pFilter->pStateLock());
  if (!IsConnected()) return S_OK;
  HRESULT hr = CBaseOutputPin::Inactive();
  if (ThreadExists()) {
    Stop();
    Exit();
    Close();
  }
  return hr;
}

BOOL CSourceStream::CheckRequest(Command* command) {
  DWORD request;
  if (!CAMThread::CheckRequest(&request)) return FALSE;
  *command = static_cast<Command>(request);
  return TRUE;
}

DWORD CSourceStream::ThreadProc() {
  for (;;) {
    Command command = GetRequest();
    if (command == CMD_INIT) {
      Reply(static_cast<DWORD>(OnThreadCreate()));
      break;
    }
    Reply(static_cast<DWORD>(E_UNEXPECTED));
  }
  for (;;) {
    Command command = GetRequest();
    switch (command) {
      case CMD_EXIT:
        Reply(S_OK);
        OnThreadDestroy();
        return 0;
      case CMD_RUN:
      case CMD_PAUSE:
        Reply(S_OK);
        DoBufferProcessingLoop();
        break;
      case CMD_STOP:
        Reply(S_OK);
        break;
      default:
        Reply(static_cast<DWORD>(E_NOTIMPL));
        break;
    }
  }
}

HRESULT CSourceStream::DoBufferProcessingLoop() {
  OnThreadStartPlay();
  Command command;
  do {
    while (!CheckRequest(&command)) {
      IMediaSample* sample = nullptr;
      HRESULT hr = GetDeliveryBuffer(&sample, nullptr, nullptr, 0);
      if (FAILED(hr)) {
        // Decommitted while a stop is on its way.
        Sleep(1);
        continue;
      }
      hr = FillBuffer(sample);
      if (hr == S_OK) {
        hr = Deliver(sample);
        sample->Release();
        // Downstream refused or stopped: nothing more to do until asked.
        if (hr != S_OK) return S_OK;
      } else if (hr == S_FALSE) {
        sample->Release();
        DeliverEndOfStream();
        return S_OK;
      } else {
        sample->Release();
        DeliverEndOfStream();
        m_pFilter->NotifyEvent(EC_ERRORABORT, hr, 0);
        return hr;
      }
    }
    // Run and pause requests are answered here; a stop leaves the loop and
    // is answered by the thread's main loop.
    if (command == CMD_RUN || command == CMD_PAUSE) {
      Reply(S_OK);
    } else if (command != CMD_STOP) {
      Reply(static_cast<DWORD>(E_UNEXPECTED));
    }
  } while (command != CMD_STOP);
  return S_FALSE;
}

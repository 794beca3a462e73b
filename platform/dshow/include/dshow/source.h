// Source filters: CSource holds output pins, each a CSourceStream that fills
// and delivers buffers on its own thread while the filter is active.
#pragma once

#include <vector>

#include "dshow/am_thread.h"
#include "dshow/base_pin.h"

class CSourceStream;

class CSource : public CBaseFilter {
 public:
  CSource(const char* name, IUnknown* outer, REFCLSID clsid, HRESULT* hr = nullptr);
  ~CSource() override;

  int GetPinCount() override;
  CBasePin* GetPin(int index) override;
  // Source pins are found by number: "1" is the first.
  STDMETHODIMP FindPin(LPCWSTR id, IPin** pin) override;

  // Pins add themselves when they are made; the filter deletes them.
  HRESULT AddPin(CSourceStream* pin);
  HRESULT RemovePin(CSourceStream* pin);
  // Index of a pin by its name, or -1.
  int FindPinNumber(IPin* pin);

  CCritSec* pStateLock() { return &m_cStateLock; }

 protected:
  CCritSec m_cStateLock;
  std::vector<CSourceStream*> m_paStreams;
};

class CSourceStream : public CAMThread, public CBaseOutputPin {
 public:
  CSourceStream(const char* objectName, HRESULT* hr, CSource* filter, LPCWSTR name);
  ~CSourceStream() override;

  // Fills a buffer: S_OK delivers it, S_FALSE ends the stream, an error ends
  // the stream and reports EC_ERRORABORT.
  virtual HRESULT FillBuffer(IMediaSample* sample) = 0;
  virtual HRESULT OnThreadCreate() { return S_OK; }
  virtual HRESULT OnThreadDestroy() { return S_OK; }
  virtual HRESULT OnThreadStartPlay() { return S_OK; }

  // The pin's one type by default; override GetMediaType(int, ...) for more.
  virtual HRESULT GetMediaType(CMediaType* mt);
  HRESULT GetMediaType(int position, CMediaType* mt) override;
  HRESULT CheckMediaType(const CMediaType* mt) override;
  // The pin's number, counted from 1, as FindPin takes it.
  STDMETHODIMP QueryId(LPWSTR* id) override;

  // The thread starts when the filter pauses and ends when it stops; the
  // allocator is decommitted first, so a thread waiting for a buffer wakes.
  HRESULT Active() override;
  HRESULT Inactive() override;

  // Requests to the thread.
  enum Command : DWORD { CMD_INIT, CMD_PAUSE, CMD_RUN, CMD_STOP, CMD_EXIT };
  HRESULT Init() { return static_cast<HRESULT>(CallWorker(CMD_INIT)); }
  HRESULT Exit() { return static_cast<HRESULT>(CallWorker(CMD_EXIT)); }
  HRESULT Run() { return static_cast<HRESULT>(CallWorker(CMD_RUN)); }
  HRESULT Pause() { return static_cast<HRESULT>(CallWorker(CMD_PAUSE)); }
  HRESULT Stop() { return static_cast<HRESULT>(CallWorker(CMD_STOP)); }
  using CBasePin::Run;

 protected:
  DWORD ThreadProc() override;
  // Gets, fills and delivers buffers until a request arrives.
  virtual HRESULT DoBufferProcessingLoop();
  Command GetRequest() { return static_cast<Command>(CAMThread::GetRequest()); }
  BOOL CheckRequest(Command* command);

  CSource* m_pFilter;
};

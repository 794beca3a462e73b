// CAacDecFilter: the transform filter that decodes one raw AAC access unit
// per input sample into one frame of 16-bit PCM through the AAC core, with
// the parameter block that IAacDecParams, the property page and
// IPersistStream read and write.
#pragma once

#include <atomic>
#include <vector>

#include "aaccore/tlxaaccore.h"
#include "dshow/persist_stream.h"
#include "dshow/transform_filter.h"
#include "filters/aac/aac_dec.h"

class CAacDecFilter : public CTransformFilter,
                      public CPersistStream,
                      public ISpecifyPropertyPages,
                      public IAacDecParams {
 public:
  // Bytes of input the filter holds: a sample longer than this is dropped.
  static constexpr ULONG kInputBufferBytes = 65536;
  // Bytes of the stored and the output format block.
  static constexpr ULONG kFormatBytes = sizeof(WAVEFORMATEXTENSIBLE);

  CAacDecFilter(IUnknown* outer, HRESULT* hr);
  ~CAacDecFilter() override;
  static CUnknown* CreateInstance(IUnknown* outer, HRESULT* hr);

  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override;
  // IPersist, for the filter and its persistence alike.
  STDMETHODIMP GetClassID(CLSID* clsid) override;

  // CTransformFilter
  HRESULT Transform(IMediaSample*, IMediaSample*) override { return S_OK; }
  HRESULT CheckInputType(const CMediaType* mt) override;
  HRESULT CheckTransform(const CMediaType* in, const CMediaType* out) override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
  HRESULT GetMediaType(int position, CMediaType* mt) override;
  HRESULT StopStreaming() override;
  HRESULT SetMediaType(PIN_DIRECTION direction, const CMediaType* mt) override;
  HRESULT Receive(IMediaSample* sample) override;
  HRESULT EndFlush() override;

  // CPersistStream: the 232-byte block, version 0.
  HRESULT WriteToStream(IStream* stream) override;
  HRESULT ReadFromStream(IStream* stream) override;
  int SizeMax() override { return sizeof(AacDecParams); }

  // ISpecifyPropertyPages
  STDMETHODIMP GetPages(CAUUID* pages) override;

  // IAacDecParams
  STDMETHODIMP GetParams(int* block, int, int) override;
  STDMETHODIMP SetParams(const int* block, int, int) override;

  // The output format as the pins offer it.
  WAVEFORMATEXTENSIBLE OutputFormat();

 private:
  // The format update from an input format block (CheckTransform) or the
  // output's (SetMediaType).
  enum class FormatSide { kInput, kOutput };
  void UpdateFormat(const WAVEFORMATEX& format, FormatSide side);
  // Asks the graph to reconnect the output with the current output format,
  // when the output is connected with another one.
  void ReconnectOutputIfChanged();
  // Copies a format block into the stored format: at most its 40 bytes, the
  // rest zeroed. False for a block too short for a WAVEFORMATEX.
  bool StoreFormat(const AM_MEDIA_TYPE& mt);
  bool OpenCore();
  // Exit and then ReleaseInstance; false when either fails.
  bool CloseCore();
  // One frame from the `length` bytes at the front of the input buffer.
  HRESULT DeliverFrame(IMediaSample* in, ULONG length, bool hasMediaTime);

  // Guarded by m_csReceive: the core and the stream state.
  int m_coreOpen = 0;
  AacDecHandle m_core = nullptr;
  int m_restart = 1;
  std::vector<BYTE> m_input;
  REFERENCE_TIME m_start = 0;
  REFERENCE_TIME m_stop = 0;
  LONGLONG m_mediaStart = 0;
  LONGLONG m_mediaStop = 0;

  // Guarded by m_csReceive too, as Receive reads them: the block and what
  // follows from it.
  AacDecParams m_params;
  WAVEFORMATEXTENSIBLE m_outputFormat;
  BYTE m_storedFormat[kFormatBytes] = {};

  // Set while the filter reconnects its own output: the checks of that
  // reconnection take the offered format as it is.
  std::atomic<int> m_reconnectSuppress{0};
};

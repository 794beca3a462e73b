// CStreamingClientFilter: the source of the base station's live stream. On
// its first Pause or Run it connects through the authenticated HTTP tunnel,
// plays the stream path and feeds its audio and video pins; the stream engine
// controls it through ITlxStreamSourceControl and follows it through graph
// events.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>

#include "dshow/interfaces.h"
#include "dshow/source.h"
#include "filters/streaming_client/tlx_stream_source_control.h"
#include "output_pins.h"
#include "stream_clock.h"
#include "streaming_session.h"
#include "utility/tlx_utility.h"

extern const AMOVIESETUP_FILTER g_StreamingClientSetup;

class CStreamingClientFilter final : public CSource,
                                     public ITlxStreamSourceControl,
                                     public ISpecifyPropertyPages,
                                     public IAMFilterMiscFlags {
 public:
  // Longest first-frame waits of the audio and the video pin.
  static constexpr DWORD kFirstFrameWaitMs = 2000;
  static constexpr DWORD kVideoStartWaitMs = 5000;
  static constexpr unsigned kStatisticsPeriodMs = 1000;

  static CUnknown* CreateInstance(IUnknown* outer, HRESULT* hr);
  ~CStreamingClientFilter() override;

  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override;

  // Pause from Stopped connects first; a failure of the base class after a
  // connect disconnects again.
  STDMETHODIMP Pause() override;
  STDMETHODIMP Run(REFERENCE_TIME start) override;
  // Always stops the base class; returns a disconnect failure other than
  // "not playing".
  STDMETHODIMP Stop() override;

  // ITlxStreamSourceControl
  STDMETHODIMP SetServer(const char* host, int port) override;
  STDMETHODIMP SetQuality(const char* text) override;
  STDMETHODIMP SetProxy(const char* host, int port) override;
  STDMETHODIMP SetMode(int mode) override;
  STDMETHODIMP Reserved1(int) override { return S_OK; }
  STDMETHODIMP Abort() override;
  STDMETHODIMP Reserved2(int, int) override { return S_OK; }
  STDMETHODIMP GetActualBitrate(DWORD* video, DWORD* audio) override;
  STDMETHODIMP Reserved3(int) override { return S_OK; }
  STDMETHODIMP Reserved4(int, int) override { return S_OK; }
  STDMETHODIMP SetParams(const TlxStreamSourceParams* params) override;
  STDMETHODIMP GetParams(TlxStreamSourceParams* params) override;
  STDMETHODIMP ApplyQuality(const char* text) override;

  // ISpecifyPropertyPages: the About page.
  STDMETHODIMP GetPages(CAUUID* pages) override;
  // IAMFilterMiscFlags: a source.
  STDMETHODIMP_(ULONG) GetMiscFlags() override { return AM_FILTER_MISC_FLAGS_IS_SOURCE; }

  // The pins' first-frame wait, on their streaming threads inside Pause.
  void FirstFrameWait(bool audio);
  // The time of a sample with that millisecond stamp on that medium's clock.
  REFERENCE_TIME SampleTime(bool video, uint32_t stampMs);
  // Raises a graph event straight on the graph's event sink.
  void RaiseEvent(long code, LONG_PTR param1, LONG_PTR param2);

  TlxAudioStream* AudioPin() const { return m_audio; }
  TlxVideoStream* VideoPin() const { return m_video; }
  StreamingSession* Session() const { return m_session.get(); }

 private:
  CStreamingClientFilter(IUnknown* outer, HRESULT* hr);
  HRESULT StartSession();
  HRESULT Connect();
  HRESULT Disconnect();
  // Applies a quality text (the part after its first four characters) to the
  // pins and reconnects them.
  HRESULT ApplyQualityText(const char* text);
  void OnFirstFrame();

  std::unique_ptr<StreamingSession> m_session;
  TlxAudioStream* m_audio = nullptr;  // owned by the base class
  TlxVideoStream* m_video = nullptr;
  HANDLE m_firstFrame;  // released once by the first sink to take a frame
  HANDLE m_videoStart;  // released by the audio pin's wait for the video pin
  TlxStreamSourceParams m_params{};  // under the filter lock
  TlxQualityParam m_quality{};       // under the filter lock
  std::atomic<bool> m_abort{false};
  std::mutex m_clockLock;
  StreamClock m_audioClock, m_videoClock;
};

// CMpeg4VideoDecoderFilter: the transform filter through which the playback
// graph reaches the MPEG-4 decoder core. Input samples of an MPEG-4
// elementary stream (MEDIASUBTYPE_TlxMP4V or MP4S) gather in a StreamBuffer
// that counts picture starts; whenever two are buffered the core decodes one
// picture straight into a delivery buffer of the output pin, which goes out
// with the time stamps of the input sample that carried that picture, in
// display order. Output is YUY2, RGB24, RGB565 or RGB555.
//
// Locks: the filter lock (m_csFilter) and the receive lock (m_csReceive),
// both recursive, always taken in that order. Receive, EndOfStream and
// EndFlush run on the upstream streaming thread under the receive lock.
#pragma once

#include <cstdint>

#include "dshow/transform_filter.h"
#include "filters/mpeg4/core/decoder_api.h"
#include "filters/mpeg4/mpeg4_video_decoder.h"
#include "stream_buffer.h"
#include "time_stamp_ring.h"

namespace tlx::mpeg4 {

// MPEG-4 visual elementary stream under its four-character code 'MP4S'.
inline constexpr GUID MEDIASUBTYPE_MP4S = FourccSubtype(MAKEFOURCC('M', 'P', '4', 'S'));

// The filter's setup data and its registry key and value.
extern const AMOVIESETUP_FILTER g_Mpeg4VideoDecoderSetup;
inline constexpr char kDecoderRegistryKey[] = "Software\\Marovi Corporation\\QDEC4";
inline constexpr char kErrorOutputValue[] = "ErrorOutput";

// Decoder-specific information from the input format block.
inline constexpr DWORD kInputBufferSize = 500000;
inline constexpr size_t kMaxDecoderSpecificBytes = 152;
// The StreamBuffer's size: the input-buffer size rounded up to 64 KiB.
inline constexpr size_t kStreamBufferBytes = (kInputBufferSize + 65535) & ~size_t{65535};
// A bound on the decode loop of one Receive.
inline constexpr int kMaxDecodesPerSample = 10001;

class CMpeg4VideoDecoderFilter : public CTransformFilter {
 public:
  // The factory's create function; null (and E_OUTOFMEMORY) when memory is short.
  static CUnknown* CreateInstance(IUnknown* outer, HRESULT* hr);
  CMpeg4VideoDecoderFilter(IUnknown* outer, HRESULT* hr);
  ~CMpeg4VideoDecoderFilter() override;

  // Video/MP4S or Video/TlxMP4V with a VIDEOINFOHEADER block, else
  // E_INVALIDARG (also for more than 152 decoder-specific bytes). Takes the
  // stream settings from the type, sizes the buffer (E_OUTOFMEMORY when
  // that fails) and resets the stream.
  HRESULT CheckInputType(const CMediaType* in) override;
  // YUY2 (input width a multiple of 16), RGB24, RGB565 or RGB555 (height
  // not negative) of the input's height and at least its width, else
  // VFW_E_TYPE_NOT_ACCEPTED; a target rectangle that is not the whole
  // picture gives E_FAIL.
  HRESULT CheckTransform(const CMediaType* in, const CMediaType* out) override;
  // One buffer of the output sample size; a smaller or missing one gives
  // E_INVALIDARG.
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
  // Positions 0-6 (Y41P, YUY2, UYVY, RGB24, RGB565, RGB555, RGB8), then
  // VFW_S_NO_MORE_ITEMS; a negative position gives E_INVALIDARG.
  HRESULT GetMediaType(int position, CMediaType* mt) override;
  HRESULT StartStreaming() override;
  HRESULT StopStreaming() override;
  // Quality messages end here.
  HRESULT AlterQuality(Quality) override { return S_OK; }
  HRESULT SetMediaType(PIN_DIRECTION direction, const CMediaType* mt) override;
  HRESULT Receive(IMediaSample* sample) override;
  HRESULT EndOfStream() override;
  HRESULT EndFlush() override;
  const AMOVIESETUP_FILTER* GetSetupData() override { return nullptr; }

  // For tests: the value read from the registry at construction.
  DWORD ErrorOutput() const { return errorOutput_; }
  const Mpeg4DecFrame& Frame() const { return frame_; }
  const StreamBuffer& Buffer() const { return buffer_; }

 protected:
  // The pins are called "Input" and "Output", as the registration says.
  void CreatePins() override;

 private:
  // A decode's result and picture kind, filed under its decode index, so a
  // picture returned later is judged by its own decode.
  struct DecodeOutcome {
    int32_t result;
    uint32_t pictureKind;
  };

  void ReadRegistry();
  // Keeps bytes after the header that begin 00 00 01 (at most 152).
  void ReadFormatExtra(const BYTE* bytes, size_t length);
  // The header of an offered type: the input picture size, the DIB size and
  // the bit rate of that size at the input's frame time.
  void FillVideoInfo(VIDEOINFOHEADER* info, DWORD compression, WORD bitCount) const;
  // The output format codes, stride and format code for an output type.
  void SelectOutputFormat(const CMediaType& mt);
  // A delivery sample from the output pin (held until released) and its
  // data; a type it carries becomes the output type. Null on any failure.
  BYTE* AcquireOutputBuffer();
  // Appends the sample's bytes (after the kept decoder-specific bytes when
  // the buffer was empty); E_OUTOFMEMORY when not all of them fitted.
  HRESULT PushSample(IMediaSample* sample);
  // Where a stream starts or ends: the buffer reset with the decoder (which
  // forgets the sequence header), rings reset, unsynchronised.
  void ResetStreamState();
  // After damage or a discontinuity: the buffer cleared (references
  // forgotten, the sequence header kept), rings reset, unsynchronised.
  void RecoverStreamState();
  void ResetRings();
  // Decodes one picture into a delivery buffer and delivers the picture the
  // decoder returned; the delivery result, a decode failure, or S_OK.
  HRESULT DecodeAndDeliver();
  // Decodes and delivers everything buffered, then the end marker, so the
  // last reference picture goes out too.
  void DrainPictures();

  // Decoder-specific information from the input type: the picture size
  // and the kept bytes.
  LONG width_ = 0, height_ = 0;
  size_t extraLength_ = 0;
  BYTE extra_[kMaxDecoderSpecificBytes] = {};
  StreamBuffer buffer_;
  Mpeg4DecFrame frame_{};
  IMediaSample* heldSample_ = nullptr;
  REFERENCE_TIME start_ = 0, stop_ = 0;
  TimeStampRing<REFERENCE_TIME> startRing_, stopRing_;
  TimeStampRing<DecodeOutcome> outcomeRing_;
  bool synchronised_ = false;
  uint32_t bottomUpCode_ = kMpeg4OutputRgb565 | 1;
  uint32_t topDownCode_ = kMpeg4OutputRgb565;
  DWORD errorOutput_ = 0;
  BYTE savedBytes_[2] = {};
};

}  // namespace tlx::mpeg4

// How a test drives and observes the fake filter modules that stand in for the
// system's stream source, decryptor, decoders, renderers and post filter.
//
// Every fake object answers IFakeFilterControl. A test takes the filter from
// the graph (IGraphBuilder::FindFilterByName, or EnumFilters and the class)
// and asks it for this interface:
//   - script in: SetResult makes a method fail (or answer anything else),
//     SetValues gives a getter its answer, and on the source ScriptEvent,
//     ScriptSample and ScriptEndOfStream say what happens once it runs;
//   - records out: Calls lists every call made on the filter's system
//     interfaces, Received the samples that reached its input and
//     EndsOfStream the ends of stream.
// The interface is C++ (strings and vectors cross it), so it serves only
// programs built with the fakes' own toolchain, which tests are.
#pragma once

#include <string>
#include <vector>

#include "com/unknown.h"
#include "dshow/media_type.h"

// {4B1E7F52-2A9C-4D63-8E0F-5C7A91D3B6E1}
inline constexpr IID IID_IFakeFilterControl{
    0x4B1E7F52, 0x2A9C, 0x4D63, {0x8E, 0x0F, 0x5C, 0x7A, 0x91, 0xD3, 0xB6, 0xE1}};

// One media sample as a fake source sends it or a fake filter received it
// (start and stop -1: it carried no time).
struct FakeSample {
  std::vector<BYTE> bytes;
  REFERENCE_TIME start = 0;
  REFERENCE_TIME stop = 0;
};

struct IFakeFilterControl : IUnknown {
  // The calls made on the filter's system interfaces, oldest first, each as
  // its method name and its number and text arguments separated by single
  // spaces: "SetServer 127.0.0.1 5000", "SetQuality DSP/vbr=1000/.",
  // "put_Volume -10000", "SetWindowPosition 0 0 800 600", "put_Visible -1",
  // "FlashBuffers 0", "SetAspectRatioMode 0", "SetMode 0", "Abort". Pointer
  // arguments that receive values are left out ("GetVideoSize").
  virtual std::vector<std::string> Calls() = 0;
  virtual void ClearCalls() = 0;
  // From now on the method of that name does nothing but return `result`
  // (the call is still recorded); S_OK restores its normal work. On a
  // renderer, "CheckMediaType" makes it refuse every type with `result`
  // (not recorded: it is the pin's own check, asked at each connection).
  virtual void SetResult(const std::string& method, HRESULT result) = 0;
  // What a getter writes into its pointer arguments, in their order:
  // "GetVideoSize" {width, height}, "GetActualBitrate" {video, audio}. A
  // getter without values writes zeros.
  virtual void SetValues(const std::string& method, std::vector<long> values) = 0;

  // The samples that reached the filter's input, and how many ends of stream
  // it received.
  virtual std::vector<FakeSample> Received() = 0;
  virtual int EndsOfStream() = 0;

  // The source alone (E_NOTIMPL elsewhere). An event raised through the
  // graph's event sink when the source runs, in scripted order, or at once
  // while it runs.
  virtual HRESULT ScriptEvent(long code, LONG_PTR param1, LONG_PTR param2) = 0;
  // A sample for pin 1 (audio) or 2 (video), sent while the source runs;
  // E_INVALIDARG for another pin or more than kFakeSampleBytes bytes.
  virtual HRESULT ScriptSample(int pin, FakeSample sample) = 0;
  // An end of stream on the pin, after the samples scripted before it.
  virtual HRESULT ScriptEndOfStream(int pin) = 0;

 protected:
  ~IFakeFilterControl() = default;
};

// The largest sample a fake source sends.
inline constexpr long kFakeSampleBytes = 64 * 1024;

// The class of the post filter the engine knows by the name "TLX Post Filter".
// {37A9F062-E114-436B-82BE-03C102277D54}
inline constexpr CLSID CLSID_TlxPostFilter{
    0x37A9F062, 0xE114, 0x436B, {0x82, 0xBE, 0x03, 0xC1, 0x02, 0x27, 0x7D, 0x54}};

// The filter over the recording fake core. This program runs from the fake
// core's folder, so filter objects made here bind the fake, and their waits
// are counted instead of slept.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <thread>

#include "filter_harness.h"
#include "filters/avc/avc_core_binding.h"
#include "filters/avc/avc_dec_filter.h"
#include "filters/avc/avc_output_worker.h"
#include "outside/avccore/support/core_library.h"
#include "outside/avccore/support/fake_core_script.h"
#include "win32/timing.h"

namespace tlx::avc {
namespace {

using avctest::AvcInputType;
using avctest::ComPtr;
using avctest::DecoderGraph;
using avctest::FakeCall;
using avctest::FakeNalAnswer;
using avctest::FakeScript;
using dshow::test::Adopt;
using dshow::test::ScriptItem;
using dshow::test::StarvableAllocator;
using Bytes = std::vector<BYTE>;

// Waits of the input path on a busy core (3 ms) and of the worker's start-up
// (50 ms), counted apart.
std::atomic<int> g_busyWaits{0};
std::atomic<int> g_startupWaits{0};
std::atomic<bool> g_realStartupWaits{false};
void CountSleep(DWORD milliseconds) {
  ++(milliseconds == kStartupWaitMs ? g_startupWaits : g_busyWaits);
  if (milliseconds == kStartupWaitMs && g_realStartupWaits) Sleep(milliseconds);
}

class FakeCoreFilter : public ::testing::Test {
 protected:
  void SetUp() override {
    script_ = reinterpret_cast<avctest::FakeScriptEntry>(core_.Symbol("TlxAvcFakeScript"))();
    script_->Reset();
    g_busyWaits = 0;
    g_startupWaits = 0;
    g_realStartupWaits = false;
    HRESULT hr = S_OK;
    filter_ = new CAvcDecFilter(nullptr, &hr, &CountSleep);
    ASSERT_EQ(hr, S_OK);
    base_ = Adopt<IBaseFilter>(filter_, IID_IBaseFilter);
  }

  // Runs the samples through the graph to the end of the stream.
  void Play(DecoderGraph& graph, std::vector<ScriptItem> items) {
    items.push_back(ScriptItem::EndOfStream());
    graph.source->SetScript(items);
    ASSERT_EQ(graph.control->Run(), S_OK);
    long code = 0;
    ASSERT_EQ(graph.events->WaitForCompletion(10000, &code), S_OK);
  }

  std::vector<FakeCall> Calls(const char* name) {
    std::vector<FakeCall> out;
    for (const FakeCall& call : script_->Calls())
      if (call.name == name) out.push_back(call);
    return out;
  }

  avctest::CoreLibrary core_{avctest::BinFolder()};
  FakeScript* script_ = nullptr;
  CAvcDecFilter* filter_ = nullptr;
  ComPtr<IBaseFilter> base_;
};

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

const Bytes kSc = {0, 0, 0, 1};
const Bytes kAud = {0x09, 0xF0}, kSps = {0x67, 0x42, 0x11}, kPps = {0x68, 0xCE, 0x38};
const Bytes kIdr = {0x65, 0x88, 0x84, 0x21}, kSlice = {0x41, 0x9A, 0x22};

TEST_F(FakeCoreFilter, UnitsCarryTheTimeOfTheSampleTheyBeginIn) {
  DecoderGraph graph(base_.Get(), AvcInputType(MEDIASUBTYPE_TlxAVC, 16, 16), {{MEDIATYPE_Video, MEDIASUBTYPE_YV12}});
  ASSERT_EQ(graph.outputConnect, S_OK);
  const Bytes first = Cat({kSc, kAud, kSc, kSps, kSc, kPps, kSc, Bytes(kIdr.begin(), kIdr.begin() + 2)});
  const Bytes second = Cat({Bytes(kIdr.begin() + 2, kIdr.end()), kSc, kAud, kSc, kSlice});
  Play(graph, {ScriptItem::Sample(first, 1000, 1001), ScriptItem::Sample(second, 2000, 2001)});
  // Each unit runs from its first byte to the end of the data held.
  std::vector<Bytes> heads;
  for (const FakeCall& call : Calls("NALUnit")) heads.push_back(Bytes(call.bytes.begin(), call.bytes.begin() + 2));
  EXPECT_EQ(heads, (std::vector<Bytes>{{0x09, 0xF0}, {0x67, 0x42}, {0x68, 0xCE}, {0x65, 0x88}, {0x09, 0xF0},
                                       {0x41, 0x9A}}));
  // The first sample's time goes to its first unit, the second's to the
  // first unit that begins in it; units need a time no more than that.
  std::vector<int64_t> times;
  for (const FakeCall& call : Calls("AttachExtTimeStamp")) times.push_back(call.args[0]);
  EXPECT_EQ(times, (std::vector<int64_t>{1000, 2000}));
  const auto samples = graph.renderer->Samples();
  ASSERT_EQ(samples.size(), 2u);
  EXPECT_EQ(samples[0].start, 1000);
  EXPECT_EQ(samples[1].start, 2000);
  // The SPS brought new timing: 1001/60000 s per field, a picture of
  // 333,666.7 units rounded once.
  EXPECT_EQ(samples[1].stop, 2000 + 333667);
  EXPECT_TRUE(samples[0].discontinuity);
  EXPECT_FALSE(samples[1].discontinuity);
}

TEST_F(FakeCoreFilter, ABusyCoreIsOfferedTheSameUnitAgain) {
  DecoderGraph graph(base_.Get(), AvcInputType(MEDIASUBTYPE_TlxAVC, 16, 16), {{MEDIATYPE_Video, MEDIASUBTYPE_YV12}});
  ASSERT_EQ(graph.outputConnect, S_OK);
  for (int i = 0; i < 3; ++i) script_->nalAnswers.push_back({TLXAVC_STATUS_BUSY, 0, 0, 0});
  // Then an answer that takes nothing: the unit counts as taken up to the
  // next start code.
  script_->nalAnswers.push_back({0, 0, 0, 0});
  Play(graph, {ScriptItem::Sample(Cat({kSc, kIdr, kSc, kSlice, kSc, kSlice}), 0, 1)});
  const auto units = Calls("NALUnit");
  ASSERT_GE(units.size(), 5u);
  for (int i = 1; i < 4; ++i) EXPECT_EQ(units[i].bytes, units[0].bytes);
  EXPECT_EQ(units[4].bytes, Cat({kSlice, kSc, kSlice}));
  EXPECT_EQ(graph.renderer->Samples().size(), 2u);
  EXPECT_EQ(g_busyWaits.load(), 3);
}

TEST_F(FakeCoreFilter, StopEndsAReceiveWaitingOnABusyCore) {
  DecoderGraph graph(base_.Get(), AvcInputType(MEDIASUBTYPE_TlxAVC, 16, 16), {{MEDIATYPE_Video, MEDIASUBTYPE_YV12}});
  ASSERT_EQ(graph.outputConnect, S_OK);
  for (int i = 0; i < 100000; ++i) script_->nalAnswers.push_back({TLXAVC_STATUS_BUSY, 0, 0, 0});
  graph.source->SetScript({ScriptItem::Sample(Cat({kSc, kIdr, kSc, kSlice}), 0, 1)});
  ASSERT_EQ(graph.control->Run(), S_OK);
  ASSERT_TRUE(avctest::WaitUntil([&] { return g_busyWaits.load() > 10; }));
  EXPECT_EQ(graph.control->Stop(), S_OK);
}

TEST_F(FakeCoreFilter, ANegativeStatusFlushesAndResetsTheCore) {
  for (const int32_t flushStatus : {0, static_cast<int32_t>(0x80000002)}) {
    SCOPED_TRACE(flushStatus);
    DecoderGraph graph(base_.Get(), AvcInputType(MEDIASUBTYPE_TlxAVC, 16, 16),
                       {{MEDIATYPE_Video, MEDIASUBTYPE_YV12}});
    ASSERT_EQ(graph.outputConnect, S_OK);
    script_->Reset();
    script_->flushStatus = flushStatus;
    script_->nalAnswers.push_back({static_cast<int32_t>(0x80000010), 0, 0, 0});
    graph.source->SetScript({ScriptItem::Sample(Cat({kSc, kIdr, kSc, kSlice}), 0, 1)});
    ASSERT_EQ(graph.control->Run(), S_OK);
    ASSERT_TRUE(avctest::WaitUntil([&] {
      const auto names = script_->CallNames();
      return std::count(names.begin(), names.end(), "Initialize") >= 2;
    }));
    graph.control->Stop();
    std::vector<std::string> names = script_->CallNames();
    std::vector<std::string> after;
    bool seen = false;
    for (const std::string& name : names) {
      if (name == "NALUnit" && !seen) {
        seen = true;
        continue;
      }
      if (seen && name != "GetPicture" && name != "ReleasePicture" && name != "GetSideInfo") after.push_back(name);
      if (seen && name == "Initialize") break;
    }
    const std::vector<std::string> expected =
        flushStatus == 0
            ? std::vector<std::string>{"FinalizePicture", "FlushPicture", "Discontinue", "Initialize"}
            : std::vector<std::string>{"FinalizePicture", "FlushPicture", "ReleaseInstance", "CreateInstanceEx2",
                                       "Initialize"};
    EXPECT_EQ(after, expected);
  }
}

// A status telling of pictures the core could not show ends the stream: the
// rest of the sample and the samples after it reach the core no more, the
// end goes downstream once, and the graph hears why once. Told by the drain
// at the end of the stream, it is reported the same way.
TEST_F(FakeCoreFilter, PicturesTheCoreCouldNotShowRefuseTheStreamOnce) {
  struct Case {
    const char* what;
    std::vector<FakeNalAnswer> answers;
    int32_t flushStatus;
    size_t units;  // handed to the core
  };
  const Case cases[] = {
      {"told while decoding", {{0, 0, 0, 0}, {TLXAVC_STATUS_NOT_SHOWN, 0, 0, 0}}, 0, 2},
      {"told by the drain", {}, TLXAVC_STATUS_NOT_SHOWN, 5},
      {"not told", {}, 0, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    DecoderGraph graph(base_.Get(), AvcInputType(MEDIASUBTYPE_TlxAVC, 16, 16),
                       {{MEDIATYPE_Video, MEDIASUBTYPE_YV12}});
    ASSERT_EQ(graph.outputConnect, S_OK);
    script_->Reset();
    script_->nalAnswers.assign(c.answers.begin(), c.answers.end());
    script_->flushStatus = c.flushStatus;
    Play(graph, {ScriptItem::Sample(Cat({kSc, kIdr, kSc, kSlice, kSc, kSlice}), 0, 1),
                 ScriptItem::Sample(Cat({kSc, kSlice}), 1000, 1001), ScriptItem::Sample(Cat({kSc, kSlice}), 2000, 2001)});
    EXPECT_EQ(graph.control->Stop(), S_OK);
    EXPECT_EQ(Calls("NALUnit").size(), c.units);
    const auto events = graph.renderer->Events();
    EXPECT_EQ(std::count(events.begin(), events.end(), "eos"), 1);
    const std::vector<LONG_PTR> reasons = avctest::ErrorAbortReasons(graph.events.Get());
    EXPECT_EQ(reasons, c.flushStatus != 0 || !c.answers.empty() ? std::vector<LONG_PTR>{VFW_E_TYPE_NOT_ACCEPTED}
                                                                : std::vector<LONG_PTR>{});
  }
}

// A record with two sequence and two picture parameter sets.
Bytes Record() {
  return {1, 0x42, 0, 0x1E, 0xFF, 0xE2, 0, 3, 0x67, 0x42, 0x11, 0, 2, 0x67, 0x43,
          2, 0, 3, 0x68, 0xCE, 0x38, 0, 2, 0x68, 0xCF};
}

TEST_F(FakeCoreFilter, TheConfigurationRecordIsHandedOverWhole) {
  DecoderGraph graph(base_.Get(), AvcInputType(MEDIASUBTYPE_TlxAVCC, 16, 16, Record()),
                     {{MEDIATYPE_Video, MEDIASUBTYPE_YV12}});
  ASSERT_EQ(graph.outputConnect, S_OK);
  ASSERT_EQ(graph.control->Pause(), S_OK);
  std::vector<Bytes> units;
  for (const FakeCall& call : Calls("NALUnit")) units.push_back(call.bytes);
  EXPECT_EQ(units, (std::vector<Bytes>{{0x67, 0x42, 0x11}, {0x67, 0x43}, {0x68, 0xCE, 0x38}, {0x68, 0xCF}}));
  graph.control->Stop();
  // A refusal ends the hand-over.
  script_->Reset();
  script_->nalAnswers.push_back({0, 3, 0, 0});
  script_->nalAnswers.push_back({static_cast<int32_t>(0x80000010), 0, 0, 0});
  graph.control->Pause();
  EXPECT_EQ(Calls("NALUnit").size(), 2u);
  graph.control->Stop();
}

TEST_F(FakeCoreFilter, StartUpWaitsForTheDecodeRatioAtMostFortyTimes) {
  DecoderGraph graph(base_.Get(), AvcInputType(MEDIASUBTYPE_TlxAVC, 16, 16), {{MEDIATYPE_Video, MEDIASUBTYPE_YV12}});
  ASSERT_EQ(graph.outputConnect, S_OK);
  script_->decodeRatio = 10;
  graph.renderer->SetHolding(false);
  graph.source->SetScript({ScriptItem::Sample(Cat({kSc, kIdr, kSc, kSlice, kSc, kSlice}), 0, 1)});
  ASSERT_EQ(graph.control->Run(), S_OK);
  ASSERT_TRUE(avctest::WaitUntil([&] { return !graph.renderer->Samples().empty(); }));
  EXPECT_EQ(g_startupWaits.load(), 40);
  graph.control->Stop();
}

TEST_F(FakeCoreFilter, StopLeavesTheStartUpWait) {
  DecoderGraph graph(base_.Get(), AvcInputType(MEDIASUBTYPE_TlxAVC, 16, 16), {{MEDIATYPE_Video, MEDIASUBTYPE_YV12}});
  ASSERT_EQ(graph.outputConnect, S_OK);
  script_->decodeRatio = 10;
  g_realStartupWaits = true;
  graph.source->SetScript({ScriptItem::Sample(Cat({kSc, kIdr, kSc, kSlice, kSc, kSlice}), 0, 1)});
  ASSERT_EQ(graph.control->Run(), S_OK);
  ASSERT_TRUE(avctest::WaitUntil([&] { return g_startupWaits.load() > 0; }));
  EXPECT_EQ(graph.control->Stop(), S_OK);
  EXPECT_LT(g_startupWaits.load(), kStartupWaits);
}

TEST_F(FakeCoreFilter, AnEmptySampleKeepsTheSourceDelivering) {
  ComPtr<IMemAllocator> allocator;
  ASSERT_EQ(CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator,
                             allocator.ReceiveVoid()),
            S_OK);
  ALLOCATOR_PROPERTIES request{1, 64, 1, 0}, actual{};
  ASSERT_EQ(allocator->SetProperties(&request, &actual), S_OK);
  ASSERT_EQ(allocator->Commit(), S_OK);
  IMediaSample* sample = nullptr;
  ASSERT_EQ(allocator->GetBuffer(&sample, nullptr, nullptr, 0), S_OK);
  sample->SetActualDataLength(0);
  EXPECT_EQ(filter_->Receive(sample), S_OK);
  EXPECT_EQ(filter_->Receive(nullptr), S_FALSE);
  sample->Release();
  allocator->Decommit();
}

TEST_F(FakeCoreFilter, DataBetweenBeginAndEndFlushIsDropped) {
  DecoderGraph graph(base_.Get(), AvcInputType(MEDIASUBTYPE_TlxAVC, 16, 16), {{MEDIATYPE_Video, MEDIASUBTYPE_YV12}});
  ASSERT_EQ(graph.outputConnect, S_OK);
  graph.source->SetScript({});
  ASSERT_EQ(graph.control->Run(), S_OK);
  ComPtr<IMemAllocator> allocator;
  ASSERT_EQ(CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator,
                             allocator.ReceiveVoid()),
            S_OK);
  ALLOCATOR_PROPERTIES request{1, 64, 1, 0}, actual{};
  ASSERT_EQ(allocator->SetProperties(&request, &actual), S_OK);
  ASSERT_EQ(allocator->Commit(), S_OK);
  auto receive = [&](const Bytes& bytes) {
    IMediaSample* sample = nullptr;
    EXPECT_EQ(allocator->GetBuffer(&sample, nullptr, nullptr, 0), S_OK);
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    std::copy(bytes.begin(), bytes.end(), data);
    sample->SetActualDataLength(static_cast<LONG>(bytes.size()));
    const HRESULT hr = filter_->Receive(sample);
    sample->Release();
    return hr;
  };
  ASSERT_EQ(filter_->BeginFlush(), S_OK);
  EXPECT_EQ(receive(Cat({kSc, kIdr, kSc, kIdr})), S_FALSE);
  EXPECT_TRUE(Calls("NALUnit").empty());
  ASSERT_EQ(filter_->EndFlush(), S_OK);
  // Nothing of the flushed sample is held: the next unit is the first fed.
  EXPECT_EQ(receive(Cat({kSc, kSlice, kSc, kAud})), S_OK);
  const auto units = Calls("NALUnit");
  ASSERT_FALSE(units.empty());
  EXPECT_EQ(Bytes(units[0].bytes.begin(), units[0].bytes.begin() + 2), Bytes(kSlice.begin(), kSlice.begin() + 2));
  graph.control->Stop();
  allocator->Decommit();
}

const VIDEOINFOHEADER2* InfoOf(const dshow::test::ReceivedSample& sample) {
  return sample.type ? reinterpret_cast<const VIDEOINFOHEADER2*>(sample.type->Format()) : nullptr;
}

TEST_F(FakeCoreFilter, PictureTimesAspectAndInterlaceFollowTheSideInformation) {
  DecoderGraph graph(base_.Get(), AvcInputType(MEDIASUBTYPE_TlxAVC, 16, 16), {{MEDIATYPE_Video, MEDIASUBTYPE_YV12}});
  ASSERT_EQ(graph.outputConnect, S_OK);
  avctest::FakePictureScript sar43{};
  sar43.width = 720, sar43.height = 480, sar43.aspectIdc = 255, sar43.sarWidth = 4, sar43.sarHeight = 3;
  avctest::FakePictureScript untimed = sar43;
  untimed.timeValid = false;
  avctest::FakePictureScript hidden{};
  hidden.notShown = true;
  avctest::FakePictureScript fieldOnly{};
  fieldOnly.flags = 0x410;
  avctest::FakePictureScript bottomFirst{};
  bottomFirst.flags = TLXAVC_PICTURE_BOTTOM_FIRST;
  bottomFirst.aspectIdc = 14;  // 4:3 samples on a square picture
  script_->pictures = {sar43, untimed, hidden, fieldOnly, bottomFirst};
  std::vector<ScriptItem> items;
  for (int i = 1; i <= 5; ++i) items.push_back(ScriptItem::Sample(Cat({kSc, kSlice}), i * 1000, i * 1000 + 1));
  Play(graph, items);
  const auto samples = graph.renderer->Samples();
  ASSERT_EQ(samples.size(), 3u);
  // Timed; untimed after it by the frame duration; a picture not shown and
  // one of a single field only move the time on.
  EXPECT_EQ(samples[0].start, 1000);
  EXPECT_EQ(samples[1].start, 1000 + 333667);
  EXPECT_EQ(samples[1].stop, 1000 + 2 * 333667);
  EXPECT_EQ(samples[2].start, 5000);
  // 720x480 with 4:3 samples is a 2:1 picture; the type rides only on the
  // samples whose picture changed it.
  ASSERT_NE(InfoOf(samples[0]), nullptr);
  EXPECT_EQ(InfoOf(samples[0])->dwPictAspectRatioX, 2u);
  EXPECT_EQ(InfoOf(samples[0])->dwPictAspectRatioY, 1u);
  EXPECT_EQ(InfoOf(samples[0])->dwInterlaceFlags, 0u);
  EXPECT_EQ(InfoOf(samples[1]), nullptr);
  ASSERT_NE(InfoOf(samples[2]), nullptr);
  EXPECT_EQ(InfoOf(samples[2])->dwPictAspectRatioX, 4u);
  EXPECT_EQ(InfoOf(samples[2])->dwPictAspectRatioY, 3u);
  EXPECT_EQ(InfoOf(samples[2])->dwInterlaceFlags, 1u);
  EXPECT_TRUE(samples[0].discontinuity);
  EXPECT_FALSE(samples[1].discontinuity);
}

// A picture-ready callback that wakes nobody: the test wakes the worker.
void CountWake(void* context) { ++*static_cast<std::atomic<int>*>(context); }

TEST_F(FakeCoreFilter, AfterADrainTheThreadEndsByItselfOnlyOnceWoken) {
  std::atomic<int> coreWakes{0};
  TlxAvcHandle handle = nullptr;
  ASSERT_EQ(core::CreateInstanceEx2(&handle, 0, &CountWake, &coreWakes), 0);
  script_->decodeRatio = 100;
  // Pictures not shown are pulled and timed but never reach an output pin.
  avctest::FakePictureScript hidden{};
  hidden.notShown = true;
  script_->pictures = {hidden, hidden};
  auto worker = std::make_unique<CAvcOutputWorker>(&CountSleep);
  AvcWorkerSettings settings;
  settings.subtype = MEDIASUBTYPE_YV12;
  settings.handle = handle;
  settings.width = settings.height = settings.stride = 16;
  worker->Configure(settings);
  std::atomic<bool> ended{false};
  std::thread waiter([&] {
    worker->WaitForEnd();
    ended = true;
  });
  auto queuePicture = [&] {
    TlxAvcNalResult result{};
    const TlxAvcNalData unit{kIdr.data(), static_cast<int32_t>(kIdr.size())};
    core::NALUnit(handle, &result, &unit);
    uint8_t buffer[32] = {};
    core::FinalizePicture(handle, buffer);
  };
  auto pulled = [&] { return Calls("ReleasePicture").size(); };
  auto pause = [] { std::this_thread::sleep_for(std::chrono::milliseconds(50)); };

  // Woken with the core not draining, the thread outputs and waits again.
  queuePicture();
  CAvcOutputWorker::PictureReady(worker.get());
  ASSERT_TRUE(avctest::WaitUntil([&] { return pulled() == 1; }));
  pause();
  EXPECT_FALSE(ended.load());
  // Drained but not woken, it neither pulls the picture left nor ends.
  queuePicture();
  uint8_t buffer[32] = {};
  core::FlushPicture(handle, buffer);
  pause();
  EXPECT_EQ(pulled(), 1u);
  EXPECT_FALSE(ended.load());
  // Woken, it outputs what the drain left and ends without a stop.
  CAvcOutputWorker::PictureReady(worker.get());
  if (!avctest::WaitUntil([&] { return ended.load(); })) {
    // The waiter still waits on the worker: leave both to it.
    waiter.detach();
    static_cast<void>(worker.release());
    FAIL() << "the drained thread did not end";
  }
  waiter.join();
  EXPECT_EQ(pulled(), 2u);
  EXPECT_FALSE(worker->HasThread());
  worker.reset();
  core::ReleaseInstance(&handle);
}

// Checks that `bytes` hold the fake's flat 16x16 picture as YV12 with rows of
// `stride` bytes, and nothing more.
void ExpectFlatYv12(const Bytes& bytes, int stride) {
  constexpr int kSide = 16;
  ASSERT_EQ(bytes.size(), static_cast<size_t>(OutputRowBytes(MEDIASUBTYPE_YV12, stride) * kSide / 2));
  auto plane = [&](size_t offset, int rowStride, int side, uint8_t value) {
    for (int row = 0; row < side; ++row)
      for (int x = 0; x < side; ++x) ASSERT_EQ(bytes[offset + row * rowStride + x], value) << row << "," << x;
  };
  plane(0, stride, kSide, avctest::kFakeLuma);
  plane(stride * kSide, stride / 2, kSide / 2, avctest::kFakeChroma);
  plane(stride * kSide * 5 / 4, stride / 2, kSide / 2, avctest::kFakeChroma);
}

TEST_F(FakeCoreFilter, ASampleCarryingAWiderTypeWidensTheRowsOfLaterPictures) {
  DecoderGraph graph(base_.Get(), AvcInputType(MEDIASUBTYPE_TlxAVC, 16, 16), {{MEDIATYPE_Video, MEDIASUBTYPE_YV12}});
  ASSERT_EQ(graph.outputConnect, S_OK);
  script_->decodeRatio = 100;
  AM_MEDIA_TYPE connected{};
  ASSERT_EQ(dshow::test::PinOf(base_.Get(), u"Out")->ConnectionMediaType(&connected), S_OK);
  CMediaType wide(connected);
  FreeMediaType(connected);
  auto* info = reinterpret_cast<VIDEOINFOHEADER2*>(wide.Format());
  ASSERT_EQ(info->bmiHeader.biWidth, 16);
  info->bmiHeader.biWidth = 32;
  info->bmiHeader.biSizeImage = 32 * 16 * 3 / 2;
  // Buffers with room for the wider rows, as the renderer's would have.
  StarvableAllocator* allocator = graph.renderer->Allocator();
  ALLOCATOR_PROPERTIES request{1, 1024, 1, 0}, actual{};
  ASSERT_EQ(allocator->SetProperties(&request, &actual), S_OK);

  // A unit is fed once the next start code is in; its picture is made once
  // the next unit is fed.
  graph.source->SetScript({ScriptItem::Sample(Cat({kSc, kIdr}), 1000, 1001),
                           ScriptItem::Sample(Cat({kSc, kSlice}), 2000, 2001),
                           ScriptItem::Sample(Cat({kSc, kSlice}), 3000, 3001)});
  ASSERT_EQ(graph.control->Run(), S_OK);
  ASSERT_TRUE(avctest::WaitUntil([&] { return graph.renderer->Samples().size() == 1; }));
  // The worker asks for no buffer before the next picture.
  allocator->SetTypeOfNextBuffer(wide);
  graph.source->AppendScript({ScriptItem::Sample(Cat({kSc, kSlice}), 4000, 4001), ScriptItem::EndOfStream()});
  long code = 0;
  ASSERT_EQ(graph.events->WaitForCompletion(10000, &code), S_OK);

  const auto samples = graph.renderer->Samples();
  ASSERT_EQ(samples.size(), 4u);
  ExpectFlatYv12(samples[0].bytes, 16);
  ASSERT_NE(InfoOf(samples[1]), nullptr);
  EXPECT_EQ(InfoOf(samples[1])->bmiHeader.biWidth, 32);
  for (size_t i = 1; i < samples.size(); ++i) {
    SCOPED_TRACE(i);
    ExpectFlatYv12(samples[i].bytes, 32);
    if (i > 1) {
      EXPECT_EQ(InfoOf(samples[i]), nullptr);
    }
  }
}

// Frame rates as the core's field timing gives them, with a count of
// pictures that spans a whole number of units exactly.
struct RateCase {
  const char* rate;
  TlxAvcTimingInfo timing;  // one field: numerator / denominator s
  int64_t duration;         // one picture, rounded once
  int64_t pictures;
  int64_t span;  // of that many pictures
};
const RateCase kRates[] = {
    {"30", {0, 1, 60}, 333333, 300, 100000000},
    {"24000/1001", {0, 1001, 48000}, 417083, 240, 100100000},
    {"30000/1001", {0, 1001, 60000}, 333667, 300, 100100000},
    {"25", {0, 1, 50}, 400000, 25, 10000000},
};

TEST(FrameDuration, RoundedOnceFromThePictureAndNeverAddedUp) {
  for (const RateCase& c : kRates) {
    SCOPED_TRACE(c.rate);
    const auto duration = FrameDurationOfTiming(c.timing);
    ASSERT_TRUE(duration);
    EXPECT_EQ(duration->Span(1), c.duration);
    EXPECT_EQ(duration->Span(c.pictures), c.span);
    // Picture n starts within half a unit of its exact time n * span / pictures.
    for (int64_t n = 0; n <= c.pictures; ++n) {
      ASSERT_LE(std::abs(duration->Span(n) * c.pictures - n * c.span) * 2, c.pictures) << n;
    }
  }
}

TEST(FrameDuration, FieldTimingsOutsideOneMinuteAreRefused) {
  const TlxAvcTimingInfo refused[] = {{0, 0, 60}, {0, 1, 0},  {0, 1, -60},       {0, -1, 60},
                                      {-1, 0, 1}, {60, 1, 1}, {0, INT32_MAX, 1}, {INT32_MAX, INT32_MAX, INT32_MAX}};
  for (const TlxAvcTimingInfo& timing : refused) {
    EXPECT_FALSE(FrameDurationOfTiming(timing)) << timing.whole << " " << timing.numerator << "/" << timing.denominator;
  }
  // The longest field taken, and a denominator as large as the record holds.
  EXPECT_EQ(FrameDurationOfTiming({60, 0, 1})->Span(1), 1200000000);
  const auto nearlyTwoSeconds = FrameDurationOfTiming({0, INT32_MAX - 1, INT32_MAX});
  ASSERT_TRUE(nearlyTwoSeconds);
  EXPECT_EQ(nearlyTwoSeconds->Span(1), 20000000);
  const int64_t many = int64_t{1} << 31;
  EXPECT_EQ(nearlyTwoSeconds->Span(many), many * 20000000 - 20000000);
}

// A stream without times: picture n starts at n pictures of the stream's
// rate, rounded once, so after a whole number of seconds the time is exact,
// and each lasts one rounded picture.
TEST_F(FakeCoreFilter, UntimedPicturesLieAtTheirCountOfPictures) {
  for (const RateCase& c : kRates) {
    SCOPED_TRACE(c.rate);
    script_->Reset();
    script_->timing = c.timing;
    avctest::FakePictureScript untimed{};
    untimed.timeValid = false;
    script_->pictures.assign(static_cast<size_t>(c.pictures) + 1, untimed);
    HRESULT hr = S_OK;
    auto* filter = new CAvcDecFilter(nullptr, &hr, &CountSleep);
    ComPtr<IBaseFilter> base = Adopt<IBaseFilter>(filter, IID_IBaseFilter);
    ASSERT_EQ(hr, S_OK);
    DecoderGraph graph(base.Get(), AvcInputType(MEDIASUBTYPE_TlxAVC, 16, 16), {{MEDIATYPE_Video, MEDIASUBTYPE_YV12}});
    ASSERT_EQ(graph.outputConnect, S_OK);
    std::vector<ScriptItem> items{ScriptItem::Untimed(Cat({kSc, kSps, kSc, kPps, kSc, kIdr}))};
    for (int64_t n = 1; n <= c.pictures; ++n) items.push_back(ScriptItem::Untimed(Cat({kSc, kSlice})));
    Play(graph, items);
    const auto samples = graph.renderer->Samples();
    ASSERT_EQ(samples.size(), static_cast<size_t>(c.pictures) + 1);
    for (int64_t n = 0; n <= c.pictures; ++n) {
      // n * span / pictures to the nearest unit (no exact halves at these rates).
      ASSERT_EQ(samples[n].start, (2 * n * c.span + c.pictures) / (2 * c.pictures)) << n;
      ASSERT_EQ(samples[n].stop - samples[n].start, c.duration) << n;
    }
    EXPECT_EQ(samples.back().start, c.span);
  }
}

TEST(SampleAspectRatio, TheTableOfIdcValues) {
  struct Case {
    int idc, sarWidth, sarHeight, width, height;
  };
  const Case cases[] = {{0, 0, 0, 1, 1},      {1, 0, 0, 1, 1},     {2, 0, 0, 12, 11},   {5, 0, 0, 40, 33},
                        {13, 0, 0, 160, 99},  {14, 0, 0, 4, 3},    {16, 0, 0, 2, 1},    {17, 0, 0, 1, 1},
                        {255, 4, 3, 4, 3},    {255, 0, 3, 1, 1},   {254, 4, 3, 1, 1}};
  for (const Case& c : cases) {
    int width = 0, height = 0;
    SampleAspectRatio(c.idc, c.sarWidth, c.sarHeight, &width, &height);
    EXPECT_EQ(width, c.width) << c.idc;
    EXPECT_EQ(height, c.height) << c.idc;
  }
}

}  // namespace
}  // namespace tlx::avc

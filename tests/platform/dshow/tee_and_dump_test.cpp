#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "graph_fixture.h"

namespace tlx::dshow::test {
namespace {

constexpr REFERENCE_TIME kMs = 10000;

template <typename T>
ComPtr<T> Create(REFCLSID clsid, REFIID iid) {
  ComPtr<T> object;
  EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, object.ReceiveVoid()), S_OK);
  return object;
}

// The filter's pins with their names, in enumeration order.
std::vector<std::pair<std::u16string, ComPtr<IPin>>> NamedPins(IBaseFilter* filter) {
  std::vector<std::pair<std::u16string, ComPtr<IPin>>> named;
  ComPtr<IEnumPins> pins;
  filter->EnumPins(pins.Receive());
  IPin* raw = nullptr;
  while (pins->Next(1, &raw, nullptr) == S_OK) {
    ComPtr<IPin> pin = ComPtr<IPin>::Attach(raw);
    PIN_INFO info{};
    pin->QueryPinInfo(&info);
    if (info.pFilter != nullptr) info.pFilter->Release();
    named.emplace_back(info.achName, pin);
  }
  return named;
}

std::vector<std::u16string> PinNames(IBaseFilter* filter) {
  std::vector<std::u16string> names;
  for (auto& [name, pin] : NamedPins(filter)) names.push_back(name);
  return names;
}

ComPtr<IPin> PinNamed(IBaseFilter* filter, const std::u16string& wanted) {
  for (auto& [name, pin] : NamedPins(filter)) {
    if (name == wanted) return pin;
  }
  return {};
}

std::vector<BYTE> FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class TeeAndDump : public GraphFixture {
 protected:
  void SetUp() override {
    GraphFixture::SetUp();
    graph.As<IMediaFilter>(IID_IMediaFilter)->SetSyncSource(nullptr);
    source->SetMediaType(SimpleType(MEDIATYPE_Video, MEDIASUBTYPE_TlxAVC));
    tee = Create<IBaseFilter>(CLSID_InfTee, IID_IBaseFilter);
    ASSERT_EQ(graph->AddFilter(sourceFilter.Get(), u"source"), S_OK);
    ASSERT_EQ(graph->AddFilter(tee.Get(), nullptr), S_OK);
    char pattern[] = "/tmp/tlx_dump_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder = pattern;
  }

  void TearDown() override {
    GraphFixture::TearDown();
    std::filesystem::remove_all(folder);
  }

  ComPtr<IBaseFilter> tee;
  std::string folder;
};

TEST_F(TeeAndDump, EveryConnectedOutputGetsEverySampleAndEveryStreamEvent) {
  ASSERT_EQ(graph->ConnectDirect(PinOf(sourceFilter.Get(), u"1").Get(), PinNamed(tee.Get(), u"Input").Get(), nullptr),
            S_OK);
  EXPECT_EQ(PinNames(tee.Get()), (std::vector<std::u16string>{u"Input", u"Output1"}));

  // The outputs offer the input's type and nothing else.
  renderer->SetAcceptedTypes({{MEDIATYPE_Audio, MEDIASUBTYPE_TlxAAC}});
  ASSERT_EQ(graph->AddFilter(rendererFilter.Get(), u"first"), S_OK);
  EXPECT_TRUE(FAILED(graph->ConnectDirect(PinNamed(tee.Get(), u"Output1").Get(),
                                          PinOf(rendererFilter.Get(), u"In").Get(), nullptr)));
  EXPECT_EQ(PinNames(tee.Get()), (std::vector<std::u16string>{u"Input", u"Output1"}));
  renderer->SetAcceptedTypes({});

  HRESULT hr = S_OK;
  auto* second = new RecordingRenderer(nullptr, &hr, nullptr, "second");
  ComPtr<IBaseFilter> secondFilter = Adopt<IBaseFilter>(second, IID_IBaseFilter);
  ASSERT_EQ(graph->AddFilter(secondFilter.Get(), u"second"), S_OK);
  ASSERT_EQ(graph->ConnectDirect(PinNamed(tee.Get(), u"Output1").Get(), PinOf(rendererFilter.Get(), u"In").Get(),
                                 nullptr),
            S_OK);
  EXPECT_EQ(PinNames(tee.Get()), (std::vector<std::u16string>{u"Input", u"Output1", u"Output2"}));
  ASSERT_EQ(graph->ConnectDirect(PinNamed(tee.Get(), u"Output2").Get(), PinOf(secondFilter.Get(), u"In").Get(),
                                 nullptr),
            S_OK);
  EXPECT_EQ(PinNames(tee.Get()), (std::vector<std::u16string>{u"Input", u"Output1", u"Output2", u"Output3"}));

  ScriptItem first = ScriptItem::Sample(Bytes({1, 2, 3}), 0, 10 * kMs);
  first.discontinuity = true;
  source->SetScript({first, ScriptItem::Flush(), ScriptItem::NewSegment(5 * kMs, 50 * kMs, 1.0),
                     ScriptItem::Sample(Bytes({4}), 10 * kMs, 20 * kMs), ScriptItem::Untimed(Bytes({5, 6})),
                     ScriptItem::EndOfStream()});
  ASSERT_EQ(control->Run(), S_OK);
  EXPECT_EQ(NextEvent(2000), EC_COMPLETE);
  EXPECT_EQ(NextEvent(50), 0) << "one completion once both branches ended";

  for (IRecordingRenderer* branch : {static_cast<IRecordingRenderer*>(renderer), static_cast<IRecordingRenderer*>(second)}) {
    EXPECT_EQ(branch->Events(), (std::vector<std::string>{"sample", "begin-flush", "end-flush", "segment 50000",
                                                          "sample", "sample", "eos"}));
    std::vector<ReceivedSample> got = branch->Samples();
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].bytes, Bytes({1, 2, 3}));
    EXPECT_TRUE(got[0].discontinuity);
    EXPECT_EQ(got[1].bytes, Bytes({4}));
    EXPECT_EQ(got[1].start, 10 * kMs);
    EXPECT_EQ(got[1].stop, 20 * kMs);
    EXPECT_EQ(got[2].bytes, Bytes({5, 6}));
    EXPECT_EQ(got[2].timeResult, VFW_E_SAMPLE_TIME_NOT_SET);
  }
}

// The stream engine's dump branch: the tee's first output to the decoder, its
// second to the writer, named with the type the second output offers.
TEST_F(TeeAndDump, DumpBranchWritesTheBytesInOrderAndClosesTheFileAtStop) {
  ComPtr<IBaseFilter> writer = Create<IBaseFilter>(CLSID_Dump, IID_IBaseFilter);
  ComPtr<IFileSinkFilter> sink = writer.As<IFileSinkFilter>(IID_IFileSinkFilter);
  ASSERT_TRUE(sink);
  ASSERT_EQ(graph->AddFilter(rendererFilter.Get(), u"decoder"), S_OK);
  ASSERT_EQ(graph->AddFilter(writer.Get(), nullptr), S_OK);
  ASSERT_EQ(graph->ConnectDirect(PinOf(sourceFilter.Get(), u"1").Get(), PinNamed(tee.Get(), u"Input").Get(), nullptr),
            S_OK);
  ASSERT_EQ(graph->ConnectDirect(PinNamed(tee.Get(), u"Output1").Get(), PinOf(rendererFilter.Get(), u"In").Get(),
                                 nullptr),
            S_OK);
  ComPtr<IPin> output2 = PinNamed(tee.Get(), u"Output2");
  ASSERT_EQ(graph->Connect(output2.Get(), PinOf(writer.Get(), u"Input").Get()), S_OK);

  ComPtr<IEnumMediaTypes> types;
  ASSERT_EQ(output2->EnumMediaTypes(types.Receive()), S_OK);
  AM_MEDIA_TYPE* offered = nullptr;
  ASSERT_EQ(types->Next(1, &offered, nullptr), S_OK);
  const std::string path = folder + "/rawvideo.m4v";
  std::u16string widePath(path.begin(), path.end());
  ASSERT_EQ(sink->SetFileName(widePath.c_str(), offered), S_OK);
  DeleteMediaType(offered);

  LPOLESTR name = nullptr;
  AM_MEDIA_TYPE kept{};
  ASSERT_EQ(sink->GetCurFile(&name, &kept), S_OK);
  EXPECT_EQ(std::u16string(name), widePath);
  EXPECT_EQ(kept.subtype, MEDIASUBTYPE_TlxAVC);
  CoTaskMemFree(name);
  FreeMediaType(kept);

  for (int round = 0; round < 2; ++round) {
    // Each start makes the file afresh.
    BYTE mark = static_cast<BYTE>(round * 16);
    source->SetScript({ScriptItem::Sample(Bytes({mark, 1, 2}), 0, 10 * kMs),
                       ScriptItem::Sample(Bytes({mark, 3}), 10 * kMs, 20 * kMs),
                       ScriptItem::Untimed(Bytes({mark, 4, 5, 6})), ScriptItem::EndOfStream()});
    ASSERT_EQ(control->Run(), S_OK);
    EXPECT_EQ(NextEvent(2000), EC_COMPLETE) << "the writer completes like a renderer";
    ASSERT_EQ(control->Stop(), S_OK);
    EXPECT_EQ(FileBytes(path), Bytes({mark, 1, 2, mark, 3, mark, 4, 5, 6}));
    EXPECT_EQ(renderer->Samples().size(), 3u * (round + 1)) << "the decoder branch got them too";
  }
}

TEST_F(TeeAndDump, AWriterThatCannotWriteLetsTheGraphPlayOn) {
  ComPtr<IBaseFilter> writer = Create<IBaseFilter>(CLSID_Dump, IID_IBaseFilter);
  ComPtr<IFileSinkFilter> sink = writer.As<IFileSinkFilter>(IID_IFileSinkFilter);
  ASSERT_EQ(graph->AddFilter(writer.Get(), nullptr), S_OK);
  ASSERT_EQ(graph->ConnectDirect(PinOf(sourceFilter.Get(), u"1").Get(), PinOf(writer.Get(), u"Input").Get(), nullptr),
            S_OK);
  LPOLESTR name = nullptr;
  EXPECT_EQ(sink->GetCurFile(&name, nullptr), E_FAIL) << "no file named yet";
  EXPECT_EQ(name, nullptr);

  for (const char16_t* file : {u"/dev/full", u"/nonexistent-folder/rawaudio.aac"}) {
    ASSERT_EQ(sink->SetFileName(file, nullptr), S_OK);
    source->SetScript({ScriptItem::Sample(Bytes({1, 2}), 0, 10 * kMs), ScriptItem::Sample(Bytes({3}), 0, 10 * kMs),
                       ScriptItem::EndOfStream()});
    ASSERT_EQ(control->Run(), S_OK);
    EXPECT_EQ(NextEvent(2000), EC_COMPLETE);
    ASSERT_EQ(control->Stop(), S_OK);
  }
}

}  // namespace
}  // namespace tlx::dshow::test

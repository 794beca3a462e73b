#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <chrono>
#include <cstring>
#include <future>
#include <random>
#include <thread>

#include "dshow/filter_module.h"
#include "filters/aes_decryptor/aes_decryptor_filter.h"
#include "platform/dshow/graph_fixture.h"

namespace tlx::dshow::test {
namespace {

using Bytes_t = std::vector<BYTE>;
const char* kKeyText = "000102030405060708090A0B0C0D0E0F";
const char* kKeyLower = "000102030405060708090a0b0c0d0e0f";
const BYTE kKey[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
// A GUID that is neither audio nor video.
TLX_GUID(kOtherMajor, 0x12345678, 0x1234, 0x1234, 0x12, 0x34, 0x12, 0x34, 0x12, 0x34, 0x12, 0x34);

// Encrypts the head the way the base station does: min(L / 16, 8) blocks.
Bytes_t EncryptHead(Bytes_t plain) {
  const int n = static_cast<int>(std::min<size_t>(plain.size() / 16, 8) * 16);
  if (n == 0) return plain;
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  EVP_EncryptInit_ex(ctx, EVP_aes_128_ecb(), nullptr, kKey, nullptr);
  EVP_CIPHER_CTX_set_padding(ctx, 0);
  int out = 0;
  EVP_EncryptUpdate(ctx, plain.data(), &out, plain.data(), n);
  EVP_CIPHER_CTX_free(ctx);
  return plain;
}

Bytes_t Hex(const std::string& text) {
  Bytes_t bytes;
  for (size_t i = 0; i + 1 < text.size(); i += 2) bytes.push_back(static_cast<BYTE>(std::stoi(text.substr(i, 2), nullptr, 16)));
  return bytes;
}

// Bytes that start with `head` and go on with a counting pattern.
Bytes_t Sample(Bytes_t head, size_t length) {
  Bytes_t bytes(length);
  for (size_t i = 0; i < length; ++i) bytes[i] = i < head.size() ? head[i] : static_cast<BYTE>(0x30 + i);
  return bytes;
}

// source -> decryptor -> renderer, the source offering the given major type.
class DecryptorGraph : public ::testing::Test {
 protected:
  void Build(const GUID& major) {
    ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                               graph.ReceiveVoid()),
              S_OK);
    control = graph.As<IMediaControl>(IID_IMediaControl);
    HRESULT hr = S_OK;
    source = new ScriptedSource(nullptr, &hr);
    sourceFilter = Adopt<IBaseFilter>(source, IID_IBaseFilter);
    CMediaType mt;
    mt.SetType(&major);
    source->SetMediaType(mt);
    source->SetBuffers(4, 4096);
    CUnknown* made = CAESDecryptorFilter::CreateInstance(nullptr, &hr);
    decryptorFilter = Adopt<IBaseFilter>(made, IID_IBaseFilter);
    key = decryptorFilter.As<IAESDecryptorKey>(IID_IAESDecryptorKey);
    renderer = new RecordingRenderer(nullptr, &hr);
    rendererFilter = Adopt<IBaseFilter>(renderer, IID_IBaseFilter);
    ASSERT_EQ(graph->AddFilter(sourceFilter.Get(), u"source"), S_OK);
    ASSERT_EQ(graph->AddFilter(decryptorFilter.Get(), u"decryptor"), S_OK);
    ASSERT_EQ(graph->AddFilter(rendererFilter.Get(), u"renderer"), S_OK);
    ASSERT_EQ(graph->ConnectDirect(PinOf(sourceFilter.Get(), u"1").Get(), PinOf(decryptorFilter.Get(), u"Input").Get(),
                                   nullptr),
              S_OK);
    ASSERT_EQ(graph->ConnectDirect(PinOf(decryptorFilter.Get(), u"Output").Get(),
                                   PinOf(rendererFilter.Get(), u"In").Get(), nullptr),
              S_OK);
  }

  void TearDown() override {
    if (control) control->Stop();
  }

  // Plays the samples (each encrypted under kKey) and an end of stream, and
  // returns what reached the renderer.
  std::vector<Bytes_t> Play(const std::vector<Bytes_t>& plain) {
    std::vector<ScriptItem> script;
    for (const Bytes_t& bytes : plain) script.push_back(ScriptItem::Untimed(EncryptHead(bytes)));
    script.push_back(ScriptItem::EndOfStream());
    source->SetScript(std::move(script));
    EXPECT_EQ(control->Run(), S_OK);
    EXPECT_TRUE(WaitFor([&] { return !renderer->Events().empty() && renderer->Events().back() == "eos"; }));
    return Received();
  }

  // The first sample is delivered only once the key wait ends, so the source
  // counts it as played only then: give its thread time to reach the wait.
  static void WaitForTheKeyWait() { std::this_thread::sleep_for(std::chrono::milliseconds(100)); }

  std::vector<Bytes_t> Received() {
    std::vector<Bytes_t> got;
    for (const ReceivedSample& s : renderer->Samples()) got.push_back(s.bytes);
    return got;
  }

  ComPtr<IGraphBuilder> graph;
  ComPtr<IMediaControl> control;
  ScriptedSource* source = nullptr;
  ComPtr<IBaseFilter> sourceFilter;
  ComPtr<IBaseFilter> decryptorFilter;
  ComPtr<IAESDecryptorKey> key;
  RecordingRenderer* renderer = nullptr;
  ComPtr<IBaseFilter> rendererFilter;
};

TEST_F(DecryptorGraph, KnownAnswerVectorDecryptsWithUpperAndLowerCaseKeys) {
  for (const char* text : {kKeyText, kKeyLower}) {
    SCOPED_TRACE(text);
    Build(MEDIATYPE_Audio);
    ASSERT_EQ(key->SetKey(text), S_OK);
    source->SetScript({ScriptItem::Untimed(Hex("69c4e0d86a7b0430d8cdb78070b4c55a")), ScriptItem::EndOfStream()});
    ASSERT_EQ(control->Run(), S_OK);
    ASSERT_TRUE(WaitFor([&] { return !renderer->Events().empty() && renderer->Events().back() == "eos"; }));
    EXPECT_EQ(Received(), std::vector<Bytes_t>{Hex("00112233445566778899aabbccddeeff")});
    control->Stop();
  }
}

TEST_F(DecryptorGraph, OnlyWholeBlocksOfTheFirst128BytesAreDecrypted) {
  Build(MEDIATYPE_Audio);
  ASSERT_EQ(key->SetKey(kKeyText), S_OK);
  std::mt19937 random(7);
  std::vector<Bytes_t> plain;
  for (size_t length : {0, 4, 15, 16, 100, 128, 129, 300}) {
    Bytes_t bytes(length);
    for (BYTE& b : bytes) b = static_cast<BYTE>(random());
    if (length > 0) bytes[0] = 0x11;  // never an ADTS start
    plain.push_back(bytes);
  }
  // EncryptHead leaves the same bytes clear that the filter must leave alone,
  // so getting the plaintext back shows both the blocks and the untouched tail.
  std::vector<Bytes_t> got = Play(plain);
  EXPECT_EQ(got, plain);
  EXPECT_NE(EncryptHead(plain[7]), plain[7]);
}

TEST_F(DecryptorGraph, AudioLosesItsAdtsHeaderOnlyOnFramesLongerThan12Bytes) {
  Build(MEDIATYPE_Audio);
  ASSERT_EQ(key->SetKey(kKeyText), S_OK);
  const Bytes_t f1_12 = Sample({0xFF, 0xF1}, 12), f1_13 = Sample({0xFF, 0xF1}, 13), f9_40 = Sample({0xFF, 0xF9}, 40),
                f0 = Sample({0xFF, 0xF0}, 40), fe = Sample({0xFE, 0xF1}, 40), seven = Sample({0xFF, 0xF1}, 7),
                noStartCode = Sample({0x12}, 20);
  std::vector<Bytes_t> got = Play({f1_12, f1_13, f9_40, f0, fe, seven, noStartCode});
  EXPECT_EQ(got, (std::vector<Bytes_t>{f1_12, Bytes_t(f1_13.begin() + 7, f1_13.end()),
                                        Bytes_t(f9_40.begin() + 7, f9_40.end()), f0, fe, seven, noStartCode}))
      << "and audio is never gated on a start code";
}

TEST_F(DecryptorGraph, VideoIsHeldBackAsFourZeroBytesUntilItsFirstStartCode) {
  Build(MEDIATYPE_Video);
  ASSERT_EQ(key->SetKey(kKeyText), S_OK);
  const Bytes_t b6 = Sample({0, 0, 1, 0xB6}, 40), tiny = {0, 0}, b0 = Sample({0, 0, 1, 0xB0}, 40),
                adts = Sample({0xFF, 0xF1}, 40), other = Sample({0x55}, 20);
  std::vector<Bytes_t> got = Play({b6, tiny, b0, adts, other, b6});
  EXPECT_EQ(got, (std::vector<Bytes_t>{Bytes_t(4, 0), Bytes_t(4, 0), b0, adts, other, b6}));
}

TEST_F(DecryptorGraph, EachVideoStartCodeStartsTheStream) {
  for (const Bytes_t& start : {Bytes_t{0, 0, 0, 1}, Bytes_t{0, 0, 1, 0x20}, Bytes_t{0, 0, 1, 0x00}}) {
    Build(MEDIATYPE_Video);
    ASSERT_EQ(key->SetKey(kKeyText), S_OK);
    const Bytes_t first = Sample(start, 24), next = Sample({0x77}, 24);
    EXPECT_EQ(Play({first, next}), (std::vector<Bytes_t>{first, next}));
    control->Stop();
  }
}

TEST_F(DecryptorGraph, AnotherMajorTypeTakesBothRulesAdtsFirst) {
  Build(kOtherMajor);
  ASSERT_EQ(key->SetKey(kKeyText), S_OK);
  const Bytes_t adts = Sample({0xFF, 0xF1}, 30), junk = Sample({0x42}, 30), start = Sample({0, 0, 1, 0xB0}, 30);
  EXPECT_EQ(Play({adts, junk, start, junk}),
            (std::vector<Bytes_t>{Bytes_t(adts.begin() + 7, adts.end()), Bytes_t(4, 0), start, junk}));
}

TEST_F(DecryptorGraph, SetKeyParsesThirtyTwoHexDigitsAndGetKeyGivesThemUpperCase) {
  Build(MEDIATYPE_Audio);
  struct Case {
    const char* text;
    HRESULT result;
  };
  const Case cases[] = {
      {kKeyLower, S_OK},
      {"000102030405060708090A0B0C0D0E0g", E_INVALIDARG},
      {"000102030405060708090A0B0C0D0E0", E_INVALIDARG},  // 31 digits: the NUL is no digit
      {nullptr, E_POINTER},
      {"000102030405060708090A0B0C0D0E0F99", S_OK},  // only 32 are read
  };
  for (const Case& c : cases) EXPECT_EQ(key->SetKey(c.text), c.result) << (c.text ? c.text : "null");
  char out[33];
  std::memset(out, '#', sizeof out);
  ASSERT_EQ(key->GetKey(out), S_OK);
  EXPECT_EQ(std::string(out, 32), kKeyText);
  EXPECT_EQ(out[32], '#');
  int size = 0;
  EXPECT_EQ(key->GetKeySize(&size), S_OK);
  EXPECT_EQ(size, 32);
  EXPECT_EQ(key->GetKey(nullptr), E_POINTER);
  EXPECT_EQ(key->GetKeySize(nullptr), E_POINTER);
}

TEST_F(DecryptorGraph, EverySetKeyReleasesTheWaitingSampleButOnlyAGoodKeyLetsSamplesThrough) {
  Build(MEDIATYPE_Audio);
  const Bytes_t plain = Sample({0x10}, 32);
  source->SetScript({ScriptItem::Untimed(EncryptHead(plain))});
  ASSERT_EQ(control->Run(), S_OK);
  WaitForTheKeyWait();
  EXPECT_TRUE(renderer->Samples().empty()) << "no sample before the key";

  EXPECT_EQ(key->SetKey("not a key at all, not a key at al"), E_INVALIDARG);
  source->AppendScript({ScriptItem::Untimed(EncryptHead(plain))});
  ASSERT_TRUE(WaitFor([&] { return source->Played() == 2; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_TRUE(renderer->Samples().empty()) << "a refused key delivers nothing";

  EXPECT_EQ(key->SetKey(kKeyText), S_OK);
  source->AppendScript({ScriptItem::Untimed(EncryptHead(plain)), ScriptItem::EndOfStream()});
  ASSERT_TRUE(WaitFor([&] { return !renderer->Events().empty() && renderer->Events().back() == "eos"; }));
  EXPECT_EQ(Received(), std::vector<Bytes_t>{plain});
}

TEST_F(DecryptorGraph, StopReleasesAWaitingSampleAndNothingIsDeliveredAfterwards) {
  Build(MEDIATYPE_Audio);
  source->SetScript({ScriptItem::Untimed(Sample({0x10}, 32))});
  ASSERT_EQ(control->Run(), S_OK);
  WaitForTheKeyWait();
  auto stopped = std::async(std::launch::async, [&] { return control->Stop(); });
  ASSERT_EQ(stopped.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_TRUE(SUCCEEDED(stopped.get()));
  EXPECT_EQ(key->SetKey(kKeyText), S_OK);
  source->SetScript({ScriptItem::Untimed(Sample({0x10}, 32)), ScriptItem::EndOfStream()});
  ASSERT_EQ(control->Run(), S_OK);
  ASSERT_TRUE(WaitFor([&] { return source->Played() == 2; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_TRUE(renderer->Samples().empty());
}

TEST_F(DecryptorGraph, ReleasingTheGraphWhileASampleWaitsDoesNotHang) {
  Build(MEDIATYPE_Audio);
  source->SetScript({ScriptItem::Untimed(Sample({0x10}, 32))});
  ASSERT_EQ(control->Run(), S_OK);
  WaitForTheKeyWait();
  auto released = std::async(std::launch::async, [&] {
    control.Reset();
    key.Reset();
    graph.Reset();
    sourceFilter.Reset();
    decryptorFilter.Reset();
    rendererFilter.Reset();
  });
  EXPECT_EQ(released.wait_for(std::chrono::seconds(5)), std::future_status::ready);
}

TEST(DecryptorModule, TheModuleMakesTheFilterByClassWithItsKeyInterface) {
  ASSERT_EQ(RegisterFilterModule(AES_DECRYPTOR_MODULE), S_OK);
  ComPtr<IBaseFilter> filter;
  ASSERT_EQ(CoCreateInstance(CLSID_AESDecryptor, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, filter.ReceiveVoid()),
            S_OK);
  ComPtr<IAESDecryptorKey> key = filter.As<IAESDecryptorKey>(IID_IAESDecryptorKey);
  ASSERT_TRUE(key);
  EXPECT_EQ(key->SetKey(kKeyText), S_OK);
  CLSID clsid;
  EXPECT_EQ(filter->GetClassID(&clsid), S_OK);
  EXPECT_EQ(clsid, CLSID_AESDecryptor);
  key.Reset();
  filter.Reset();
  EXPECT_EQ(UnregisterFilterModule(AES_DECRYPTOR_MODULE), S_OK);
}

}  // namespace
}  // namespace tlx::dshow::test

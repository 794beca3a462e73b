// The decryptor's Transform on one sample, for a 300-byte ADTS audio frame
// and for 8 KiB and 64 KiB video samples, beside memcpy of the same sizes:
// the decryptor touches only the first 128 bytes (and moves an audio
// payload once), so its cost should stay below one copy of a video sample
// and two of an audio one. Each transform starts from the same encrypted
// sample, restored by a copy that the memcpy line measures alone.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstring>
#include <vector>

#include "dshow/media_sample.h"
#include "filters/aes_decryptor/aes_decryptor_filter.h"

namespace {

const char* kKeyText = "000102030405060708090A0B0C0D0E0F";
const unsigned char kKey[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};

std::vector<BYTE> EncryptedSample(size_t size, bool audio) {
  std::vector<BYTE> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<BYTE>(i * 31 + 7);
  if (audio) {
    bytes[0] = 0xFF;
    bytes[1] = 0xF1;
  } else {
    const BYTE start[] = {0x00, 0x00, 0x01, 0xB0};
    std::memcpy(bytes.data(), start, sizeof start);
  }
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  EVP_EncryptInit_ex(ctx, EVP_aes_128_ecb(), nullptr, kKey, nullptr);
  EVP_CIPHER_CTX_set_padding(ctx, 0);
  int out = 0;
  EVP_EncryptUpdate(ctx, bytes.data(), &out, bytes.data(), static_cast<int>(std::min<size_t>(size / 16, 8) * 16));
  EVP_CIPHER_CTX_free(ctx);
  return bytes;
}

void Transform(benchmark::State& state, bool audio) {
  const size_t size = static_cast<size_t>(state.range(0));
  HRESULT hr = S_OK;
  auto* filter = static_cast<CAESDecryptorFilter*>(CAESDecryptorFilter::CreateInstance(nullptr, &hr));
  filter->NonDelegatingAddRef();
  filter->GetPin(0);  // makes the pins
  filter->SetKey(kKeyText);
  auto* allocator = new CMemAllocator("bench", nullptr, &hr);
  allocator->NonDelegatingAddRef();
  ALLOCATOR_PROPERTIES want{1, 65536, 1, 0}, got{};
  allocator->SetProperties(&want, &got);
  allocator->Commit();
  IMediaSample* sample = nullptr;
  allocator->GetBuffer(&sample, nullptr, nullptr, 0);
  BYTE* buffer = nullptr;
  sample->GetPointer(&buffer);
  const std::vector<BYTE> encrypted = EncryptedSample(size, audio);
  for (auto _ : state) {
    std::memcpy(buffer, encrypted.data(), size);
    sample->SetActualDataLength(static_cast<LONG>(size));
    benchmark::DoNotOptimize(filter->Transform(sample));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
  sample->Release();
  allocator->Decommit();
  allocator->NonDelegatingRelease();
  filter->NonDelegatingRelease();
}

void Copy(benchmark::State& state) {
  const size_t size = static_cast<size_t>(state.range(0));
  std::vector<BYTE> from(size, 1), to(size);
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), size);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
}

void AudioTransform(benchmark::State& state) { Transform(state, true); }
void VideoTransform(benchmark::State& state) { Transform(state, false); }

BENCHMARK(AudioTransform)->Arg(300);
BENCHMARK(VideoTransform)->Arg(8192)->Arg(65536);
BENCHMARK(Copy)->Arg(300)->Arg(8192)->Arg(65536);

}  // namespace

BENCHMARK_MAIN();

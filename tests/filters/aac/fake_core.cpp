#include "fake_core.h"

#include <cstring>

namespace tlx::aac::test {
namespace {

FakeCore g_fake;
int g_instance;  // what handles point at

}  // namespace

FakeCore& Fake() { return g_fake; }
void ResetFake() { g_fake = FakeCore(); }

}  // namespace tlx::aac::test

using tlx::aac::test::Fake;

extern "C" {

int aacDecCreateInstance(AacDecHandle* handle) {
  Fake().calls.push_back("create");
  if (Fake().createResult < 0) return Fake().createResult;
  *handle = &tlx::aac::test::g_instance;
  Fake().handle = *handle;
  return Fake().createResult;
}

int aacDecInit(AacDecHandle, int* channels, int* bits, int* rate, int* unused1, int* unused2, int reserved0,
               int reserved1, int reserved2, int reserved3, int downMix, int reorderCount, const int* order) {
  Fake().calls.push_back("init");
  Fake().init = {*channels, *bits,     *rate,     *unused1, *unused2,     reserved0,
                 reserved1, reserved2, reserved3, downMix,  reorderCount, std::vector<int>(order, order + 48)};
  return Fake().initResult;
}

int aacDecGetInfo(AacDecHandle, int* a, int* b, int* c, int* d) {
  Fake().calls.push_back("info");
  *a = Fake().inputBytes;
  *b = Fake().outputBytes;
  *c = 0;
  *d = 0;
  Fake().info = {c, d};
  return Fake().infoResult;
}

int aacDecMain(AacDecHandle handle, const unsigned char* input, int a, int* c, unsigned char* output, int b, int* d,
               int length) {
  Fake().calls.push_back("main");
  Fake().mains.push_back({handle, input, a, c, output, b, d, length, std::vector<uint8_t>(input, input + length)});
  if (Fake().mainResult < 0) return Fake().mainResult;
  std::memset(output, Fake().fill, static_cast<size_t>(b));
  *c = length;
  *d = b;
  return 0;
}

int aacDecExit(AacDecHandle) {
  Fake().calls.push_back("exit");
  return Fake().exitResult;
}

int aacDecReleaseInstance(AacDecHandle* handle) {
  Fake().calls.push_back("release");
  if (Fake().releaseResult < 0) return Fake().releaseResult;
  *handle = nullptr;
  return 0;
}

}  // extern "C"

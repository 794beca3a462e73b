// A recording stand-in for the AAC core's six calls: each call is noted with
// its arguments and answers what the test scripted. Linked in place of
// libtlxaaccore.so.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "aaccore/tlxaaccore.h"

namespace tlx::aac::test {

struct FakeCore {
  // Results, by call.
  int createResult = 0;
  int initResult = 0;
  int infoResult = 0;
  int mainResult = 0;
  int exitResult = 0;
  int releaseResult = 0;
  // What GetInfo hands out as a and b.
  int inputBytes = 1536;
  int outputBytes = 4096;
  // The byte Main fills its output with.
  uint8_t fill = 0x5A;

  // Call names in order: "create", "init", "info", "main", "exit", "release".
  std::vector<std::string> calls;
  AacDecHandle handle = nullptr;  // the one Create handed out

  struct Init {
    int channels, bits, rate, unused1, unused2, reserved0, reserved1, reserved2, reserved3, downMix, reorderCount;
    std::vector<int> order;
  } init{};
  struct Info {
    int* consumed;
    int* written;
  } info{};
  struct Main {
    AacDecHandle handle;
    const unsigned char* input;
    int inputBytes;
    int* consumed;
    unsigned char* output;
    int outputBytes;
    int* written;
    int length;
    std::vector<uint8_t> unit;  // the `length` bytes at input
  };
  std::vector<Main> mains;
};

// The state every call reads and records into; Reset before each test.
FakeCore& Fake();
void ResetFake();

}  // namespace tlx::aac::test

// The script and call record of the fake decoder core. Tests reach the one
// script of a loaded fake through its extra export "TlxAvcFakeScript".
//
// Without scripted answers the fake follows the core's contract on its own:
// it takes each unit up to the next start code, makes one 16x16 picture per
// coded slice with that slice's time and marks, answers busy at four queued
// pictures, reports new timing after a sequence parameter set, and drains on
// a flush.
#pragma once

#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "avccore/tlxavccore.h"

namespace tlx::avctest {

struct FakeNalAnswer {
  int32_t status = 0;
  int32_t consumed = 0;
  int32_t word4 = 0;
  int32_t word5 = 0;
};

// The fake's pictures are flat: every luma sample is kFakeLuma, every chroma
// sample kFakeChroma.
inline constexpr uint8_t kFakeLuma = 0x50;
inline constexpr uint8_t kFakeChroma = 0x80;

// What the next pulled picture reports instead of the defaults (16x16,
// progressive, shown, no aspect ratio, the time of its slice).
struct FakePictureScript {
  int32_t flags = 0x4;
  int32_t width = 16, height = 16;
  int32_t aspectIdc = -1;  // -1: no aspect ratio
  int32_t sarWidth = 0, sarHeight = 0;
  bool notShown = false;
  bool timeValid = true;
};

struct FakeCall {
  std::string name;
  std::vector<int64_t> args;   // the call's plain arguments
  std::vector<uint8_t> bytes;  // NALUnit: the unit handed over
};

struct FakeScript {
  std::mutex mutex;
  std::vector<FakeCall> calls;
  std::deque<FakeNalAnswer> nalAnswers;  // taken one per NALUnit call before the contract
  int32_t createStatus = 0;
  int32_t flushStatus = 0;
  int32_t decodeRatio = -1;  // -1: by the queue, as the core does
  std::deque<FakePictureScript> pictures;  // taken one per GetPicture
  TlxAvcTimingInfo timing{0, 1001, 60000};  // answered once a sequence parameter set came

  void Reset() {
    std::lock_guard lock(mutex);
    calls.clear();
    nalAnswers.clear();
    createStatus = 0;
    flushStatus = 0;
    decodeRatio = -1;
    pictures.clear();
    timing = {0, 1001, 60000};
  }
  std::vector<FakeCall> Calls() {
    std::lock_guard lock(mutex);
    return calls;
  }
  std::vector<std::string> CallNames() {
    std::lock_guard lock(mutex);
    std::vector<std::string> names;
    for (const FakeCall& call : calls) names.push_back(call.name);
    return names;
  }
};

using FakeScriptEntry = FakeScript* (*)();

}  // namespace tlx::avctest

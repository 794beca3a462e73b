// Feeding damaged streams to the core through its exported functions, with
// the checks every such call must pass: each input sits in a heap block of
// its exact size (so the sanitizer build catches any read outside it), no
// call reports a fatal status or uses more than it was given, returned
// pictures are readable, and the walk ends.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace tlx::mpeg4::test {

// When the decoder call in progress began (steady clock, nanoseconds; 0
// between calls), for a watchdog.
struct CallClock {
  std::atomic<int64_t> started{0};
};

struct FeedOptions {
  // Every call made while data remains must consume some of it.
  bool requireProgress = false;
  CallClock* clock = nullptr;
};

// Both header looks, then the whole of `bytes` call after call, then an end
// marker, on a fresh instance. Failures name `what`.
void FeedFresh(const std::vector<uint8_t>& bytes, const std::string& what, const FeedOptions& options = {});

}  // namespace tlx::mpeg4::test

#include "ses/ses_random.h"

#include <mutex>
#include <random>
#include <utility>

namespace {

struct RandomState {
  std::mutex lock;
  std::mt19937_64 engine;
  SesRandomSource source;

  RandomState() {
    std::random_device os;
    std::seed_seq seed{os(), os(), os(), os(), os(), os(), os(), os()};
    engine.seed(seed);
  }
};

RandomState& state() {
  static RandomState instance;
  return instance;
}

}  // namespace

void sesRandomFill(uint8_t* out, size_t n) {
  RandomState& s = state();
  std::lock_guard<std::mutex> hold(s.lock);
  if (s.source) {
    s.source(out, n);
    return;
  }
  for (size_t i = 0; i < n; i += 8) {
    uint64_t word = s.engine();
    for (size_t k = 0; k < 8 && i + k < n; ++k) out[i + k] = static_cast<uint8_t>(word >> (8 * k));
  }
}

void sesSetRandomSource(SesRandomSource source) {
  RandomState& s = state();
  std::lock_guard<std::mutex> hold(s.lock);
  s.source = std::move(source);
}

#include "link/config/link_options.h"

#include <atomic>

namespace tlx::link {
namespace {

std::atomic<uint32_t> optionWord{0};

}  // namespace

uint32_t tlxOptionWord() { return optionWord.load(); }

void tlxSetOptionWord(uint32_t option) { optionWord.store(option); }

uint32_t tlxRegionCode() { return optionWord.load() & 0xFF; }

}  // namespace tlx::link

// TimeStampRing: eight slots addressed by a picture index modulo 8, each a
// presence flag and a value, for the stamps (and decode outcomes) filed under
// the index of the picture they belong to until that picture is delivered.
#pragma once

#include <cstdint>

namespace tlx::mpeg4 {

template <typename Value>
class TimeStampRing {
 public:
  TimeStampRing() { Reset(); }

  void Put(const Value& value, int64_t index) {
    Slot& slot = slots_[index & 7];
    slot.present = 1;
    slot.value = value;
  }
  // Copies the value of the index to `destination` and clears its flag;
  // false (destination unchanged) when the slot holds none.
  bool Take(Value* destination, int64_t index) {
    Slot& slot = slots_[index & 7];
    if (slot.present == 0) return false;
    *destination = slot.value;
    slot.present = 0;
    return true;
  }
  void Reset() {
    for (Slot& slot : slots_) slot.present = 0;
  }

 private:
  struct Slot {
    int32_t present = 0;
    Value value{};
  };
  Slot slots_[8];
};

}  // namespace tlx::mpeg4

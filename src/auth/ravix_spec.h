// The capability record of either side of a stream connection, read from the
// text each side sends (the player's User-Agent, the base station's Server
// header), e.g. "TLXStreamingServer, model=HX-R10, support=1/2/3, id=abc".
#pragma once

#include <cstdint>

namespace tlx::auth {

struct Ravix_Spec {
  char spec[256];       // the text as set, with ", modeltype=N" when derived
  int generation;
  uint32_t support;     // bit n set for each number n below 32 in "support="
  uint32_t codec;       // the same for "codec="
  int scaling;
  char model[20];
  int modelType;        // -1 when unknown
  char id[32];
  int side;             // 0 for "TLXStreamingServer", 1 for "TLXStreamingClient"

  // Clears every field, then reads the text; a null or empty text leaves the
  // record cleared. Always 0.
  int set(const char* text);
};

}  // namespace tlx::auth

// The library's one random generator: the random bytes of the seals (R and the
// packet padding) and SesRandomBytes come from it. It is seeded once from the
// operating system and never touches the runtime's shared rand() state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

// Fills n bytes. Safe from any thread.
void sesRandomFill(uint8_t* out, size_t n);

// Replaces the byte source, so that a test can fix R and the padding; an empty
// function restores the generator. Each fill asks the source once for its
// whole length, in the order the callers draw (a packet seal draws R, then
// its padding).
using SesRandomSource = std::function<void(uint8_t* out, size_t n)>;
void sesSetRandomSource(SesRandomSource source);

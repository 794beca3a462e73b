// Seeded damage to elementary streams, for the robustness tests of the core
// and of the filter: each mutant follows from its seed alone, so a failing
// case is reproduced by its seed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tlx::mpeg4::test {

// Offsets of the VOP start codes (00 00 01 B6) of a stream.
std::vector<size_t> VopStarts(const std::vector<uint8_t>& stream);
// The stream up to its (pictures + 1)-th VOP start code; all of it when it
// has no more pictures.
std::vector<uint8_t> Head(const std::vector<uint8_t>& stream, int pictures);

// Applies 1-4 mutations chosen by `seed` to `bytes` and returns their names:
// a few bits flipped anywhere, 1-16 bits flipped inside one VOP's payload,
// a byte after a start code overwritten, the stream cut short, a start code
// inserted, a prefix of one of `headers` spliced in, a run of random bytes
// written over the data, a VOP dropped, a VOP duplicated.
std::string Corrupt(std::vector<uint8_t>& bytes, const std::vector<std::vector<uint8_t>>& headers, uint32_t seed);

}  // namespace tlx::mpeg4::test

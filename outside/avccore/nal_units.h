// Byte-level rules of the units the core is handed: where a unit ends, what
// kind it is, whether it starts a new access unit, and the length-prefixed
// form of whole samples.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace tlx::avccore {

// Offset of the first 00 00 01 at offset 1 or later, or the length when there
// is none.
size_t UnitEnd(std::span<const uint8_t> unit);

// The unit without the zero bytes that end it (the start of the next start
// code, or trailing stuffing).
std::span<const uint8_t> WithoutTrailingZeros(std::span<const uint8_t> unit);

// True when the data is a sequence of 4-byte big-endian lengths each followed
// by that many bytes, covering it exactly up to optional trailing zero bytes.
bool TilesWithLengthPrefixes(std::span<const uint8_t> unit);

// True when the NAL unit begins a new access unit after one that holds a coded
// slice: access unit delimiter, parameter sets, SEI, types 14-18, or
// a slice whose first_mb_in_slice is 0.
bool StartsAccessUnit(std::span<const uint8_t> nal);

// Coded slices (types 1 to 5).
bool IsSlice(std::span<const uint8_t> nal);

inline uint8_t NalType(std::span<const uint8_t> nal) { return nal.empty() ? 0 : nal[0] & 0x1F; }

}  // namespace tlx::avccore

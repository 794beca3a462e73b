// The status word of the decoder core: every bit any part of the core sets,
// once. Every core function returns or accumulates such a word; 0 is clean.
#pragma once

#include <cstdint>

namespace tlx::mpeg4 {

inline constexpr uint32_t kStatusMissingHeader = 0x1;     // a needed header was not where expected
inline constexpr uint32_t kStatusUnsupported = 0x2;       // a tool or size this decoder does not decode
inline constexpr uint32_t kStatusOutOfRange = 0x4;        // a value outside its allowed range
inline constexpr uint32_t kStatusMarker = 0x10;           // a marker bit was 0
inline constexpr uint32_t kStatusNotInTable = 0x20;       // a coefficient code that no table holds
inline constexpr uint32_t kStatusIndexOverflow = 0x40;    // coefficients past the end of a block
// An invalid variable-length code, a DC size out of range, or bits consumed
// past the end of the input.
inline constexpr uint32_t kStatusInvalidCode = 0x100;
inline constexpr uint32_t kStatusNoPicture = 0x200;       // the input held no picture or sequence header
inline constexpr uint32_t kStatusQuantiserBelowOne = 0x4000;  // a quantiser of 0 was raised to 1
inline constexpr uint32_t kStatusInvalidArgument = 0x100000;  // a null handle or a misaligned buffer base
inline constexpr uint32_t kStatusMisalignedEnd = 0x200000;    // the input does not end on a 4-byte boundary
inline constexpr uint32_t kStatusFatal = 0x80000000;          // the instance is unusable until destroyed
inline constexpr uint32_t kStatusOutOfMemory = kStatusFatal | 0x1000000;  // fatal: an allocation failed

// What Mpeg4DecInitEx returns: the extended initialisation is not supported.
inline constexpr uint32_t kStatusInitExNotSupported = kStatusMisalignedEnd;

}  // namespace tlx::mpeg4

// The processor feature word the video decoders choose their vector code by.
#pragma once

#include <cstdint>

#include "win32/cpu_features.h"

namespace tlx::mpeg4 {

// Feature word bits the decoders act on.
inline constexpr uint32_t kFeatureMmx = 0x20;
inline constexpr uint32_t kFeatureIntegerSse = 0x200;
inline constexpr uint32_t kFeatureSse2 = 0x2000;

// The feature word of the given CPUID registers:
//   0x1 always; 0x2 when leaf 1 exists, and then from its EDX 0x10 (bit 4),
//   0x20 (bit 23), 0x40 (bit 15), 0x1000 (bit 12), 0x200|0x400 (bit 25) and
//   0x2000 (bit 26); 0x4 when an extended leaf above 0x80000000 exists, and
//   then from 0x80000001 EDX 0x80 (bit 31) and, on "AuthenticAMD" parts,
//   0x100 (bit 30), 0x200 (bit 22) and 0x800 for family/model/stepping
//   0x588-0x5FF.
uint32_t ProbeCpuFeatures(const win32::CpuidRegisters& registers);

// The feature word of this processor.
uint32_t ProbeCpuFeatures();

}  // namespace tlx::mpeg4

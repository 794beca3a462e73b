// The processor feature word the video decoders choose their vector code by.
#pragma once

#include <cstdint>

#include "win32/cpu_features.h"

namespace tlx::mpeg4 {

// Feature word bits the decoders act on.
inline constexpr uint32_t kFeatureMmx = 0x20;
inline constexpr uint32_t kFeatureIntegerSse = 0x200;
inline constexpr uint32_t kFeatureSse2 = 0x2000;
// AVX2 usable: the processor has it and the operating system saves the
// 256-bit registers. Only the YUV-to-RGB chunk loop acts on it; masking it
// off keeps the SSE2 kernels.
inline constexpr uint32_t kFeatureAvx2 = 0x10000;

// The feature word of the given CPUID registers:
//   0x1 always; 0x2 when leaf 1 exists, and then from its EDX 0x10 (bit 4),
//   0x20 (bit 23), 0x40 (bit 15), 0x1000 (bit 12), 0x200|0x400 (bit 25) and
//   0x2000 (bit 26); 0x4 when an extended leaf above 0x80000000 exists, and
//   then from 0x80000001 EDX 0x80 (bit 31) and, on "AuthenticAMD" parts,
//   0x100 (bit 30), 0x200 (bit 22) and 0x800 for family/model/stepping
//   0x588-0x5FF; kFeatureAvx2 when leaf 1 ECX has AVX (bit 28) and OSXSAVE
//   (bit 27), XCR0 has the SSE and AVX states (bits 1 and 2) and leaf 7 EBX
//   has AVX2 (bit 5).
uint32_t ProbeCpuFeatures(const win32::CpuidRegisters& registers);

// The feature word of this processor.
uint32_t ProbeCpuFeatures();

// The feature word of this processor masked by TLX_CPU_FEATURES: the word
// the decoders choose their kernels by.
uint32_t MaskedCpuFeatures();

}  // namespace tlx::mpeg4

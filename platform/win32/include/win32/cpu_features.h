// The raw processor probe and the one reader of TLX_CPU_FEATURES. Decoders turn
// the registers into their feature word and mask it with the value read here.
#pragma once

#include <cstdint>
#include <optional>

namespace tlx::win32 {

inline constexpr uint32_t kCpuFeatureMmx = 0x20;
inline constexpr uint32_t kCpuFeatureIntegerSse = 0x200;
inline constexpr uint32_t kCpuFeatureSse2 = 0x2000;

struct CpuidLeaf {
  uint32_t eax = 0, ebx = 0, ecx = 0, edx = 0;
};

// CPUID as the processor reports it. A leaf that the processor lacks is marked
// absent and left zero.
struct CpuidRegisters {
  bool hasCpuid = false;
  CpuidLeaf leaf0;           // highest standard leaf, vendor text
  bool hasLeaf1 = false;
  CpuidLeaf leaf1;           // version and feature flags
  bool hasExtended = false;
  CpuidLeaf extended0;       // 0x80000000: highest extended leaf
  bool hasExtended1 = false;
  CpuidLeaf extended1;       // 0x80000001: extended feature flags
  bool hasLeaf7 = false;
  CpuidLeaf leaf7;           // 7, subleaf 0: structured extended feature flags
  uint64_t enabledStates = 0;  // XCR0 when leaf 1 reports OSXSAVE, else 0
};

CpuidRegisters ReadCpuidRegisters();

// Parses a mask: decimal or 0x hexadecimal, nothing else around it.
std::optional<uint32_t> ParseCpuFeatureMask(const char* text);

// TLX_CPU_FEATURES, read once per process; empty when unset. A value that does
// not parse is ignored with one warning line on stderr.
std::optional<uint32_t> CpuFeatureMask();

}  // namespace tlx::win32

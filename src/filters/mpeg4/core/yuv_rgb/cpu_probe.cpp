#include "filters/mpeg4/core/yuv_rgb/cpu_probe.h"

#include <optional>

namespace tlx::mpeg4 {
namespace {

bool IsAmd(const win32::CpuidLeaf& leaf0) {
  // "AuthenticAMD" in EBX, EDX, ECX order.
  return leaf0.ebx == 0x68747541 && leaf0.edx == 0x69746E65 && leaf0.ecx == 0x444D4163;
}

bool Bit(uint32_t value, int bit) { return ((value >> bit) & 1) != 0; }

}  // namespace

uint32_t ProbeCpuFeatures(const win32::CpuidRegisters& registers) {
  uint32_t features = 0x1;
  if (!registers.hasCpuid) return features;
  if (registers.leaf0.eax >= 1 && registers.hasLeaf1) {
    features |= 0x2;
    const uint32_t edx = registers.leaf1.edx;
    if (Bit(edx, 4)) features |= 0x10;
    if (Bit(edx, 23)) features |= 0x20;
    if (Bit(edx, 15)) features |= 0x40;
    if (Bit(edx, 12)) features |= 0x1000;
    if (Bit(edx, 25)) features |= 0x200 | 0x400;
    if (Bit(edx, 26)) features |= 0x2000;
    const uint32_t ecx = registers.leaf1.ecx;
    const bool statesSaved = (registers.enabledStates & 0x6) == 0x6;
    if (Bit(ecx, 28) && Bit(ecx, 27) && statesSaved && registers.hasLeaf7 && Bit(registers.leaf7.ebx, 5)) {
      features |= kFeatureAvx2;
    }
  }
  if (registers.hasExtended && registers.extended0.eax > 0x80000000 && registers.hasExtended1) {
    features |= 0x4;
    const uint32_t edx = registers.extended1.edx;
    const bool amd = IsAmd(registers.leaf0);
    if (Bit(edx, 31)) features |= 0x80;
    if (amd && Bit(edx, 30)) features |= 0x100;
    if (amd && (features & 0x200) == 0 && Bit(edx, 22)) features |= 0x200;
    const uint32_t signature = registers.leaf1.eax & 0xFFF;
    if (amd && registers.hasLeaf1 && signature >= 0x588 && signature <= 0x5FF) features |= 0x800;
  }
  return features;
}

uint32_t ProbeCpuFeatures() { return ProbeCpuFeatures(win32::ReadCpuidRegisters()); }

uint32_t MaskedCpuFeatures() {
  uint32_t features = ProbeCpuFeatures();
  if (const std::optional<uint32_t> mask = win32::CpuFeatureMask()) features &= *mask;
  return features;
}

}  // namespace tlx::mpeg4

// The processor feature word from given CPUID registers, and the variants an
// instance chooses under each TLX_CPU_FEATURES mask.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "filters/mpeg4/core/yuv_rgb/cpu_probe.h"

namespace tlx::mpeg4 {
namespace {

win32::CpuidRegisters Vendor(uint32_t ebx, uint32_t edx, uint32_t ecx) {
  win32::CpuidRegisters r;
  r.hasCpuid = true;
  r.leaf0 = {1, ebx, ecx, edx};
  r.hasLeaf1 = true;
  return r;
}

win32::CpuidRegisters Intel() { return Vendor(0x756E6547, 0x49656E69, 0x6C65746E); }  // "GenuineIntel"
win32::CpuidRegisters Amd() { return Vendor(0x68747541, 0x69746E65, 0x444D4163); }    // "AuthenticAMD"

void Extended(win32::CpuidRegisters& r, uint32_t edx) {
  r.hasExtended = true;
  r.extended0.eax = 0x80000008;
  r.hasExtended1 = true;
  r.extended1.edx = edx;
}

TEST(CpuProbe, FeatureWordFromRegisters) {
  // An SSE2 Intel part: TSC, MMX, CMOV, bit 12, SSE and SSE2.
  win32::CpuidRegisters intel = Intel();
  intel.leaf1 = {0x6FB, 0, 0, (1u << 4) | (1u << 23) | (1u << 15) | (1u << 12) | (1u << 25) | (1u << 26)};
  Extended(intel, 1u << 29);
  // An AMD part with extended MMX (bit 22), 3DNow! (31) and its extension
  // (30), family/model 0x58x, no SSE.
  win32::CpuidRegisters amd = Amd();
  amd.leaf1 = {0x58C, 0, 0, (1u << 4) | (1u << 23) | (1u << 15)};
  Extended(amd, (1u << 22) | (1u << 31) | (1u << 30));
  // The same extended bits on another vendor's part count only as 3DNow!.
  win32::CpuidRegisters other = Intel();
  other.leaf1 = {0x58C, 0, 0, 1u << 23};
  Extended(other, (1u << 22) | (1u << 31) | (1u << 30));
  // No extended leaves.
  win32::CpuidRegisters noExtended = Intel();
  noExtended.leaf1 = {0x633, 0, 0, (1u << 23) | (1u << 25)};
  // Leaf 1 absent: only the always-set bit.
  win32::CpuidRegisters noLeaf1 = Intel();
  noLeaf1.leaf0.eax = 0;
  noLeaf1.hasLeaf1 = false;
  // Extended leaf 0x80000000 only: the extended flags are not probed.
  win32::CpuidRegisters onlyExtended0 = Amd();
  onlyExtended0.hasExtended = true;
  onlyExtended0.extended0.eax = 0x80000000;
  // AVX2 counts only with AVX and OSXSAVE in leaf 1 and the SSE and AVX
  // states enabled in XCR0.
  win32::CpuidRegisters avx2 = intel;
  avx2.leaf0.eax = 7;
  avx2.leaf1.ecx = (1u << 27) | (1u << 28);
  avx2.enabledStates = 0x7;
  avx2.hasLeaf7 = true;
  avx2.leaf7.ebx = 1u << 5;
  win32::CpuidRegisters avx2NotSaved = avx2;
  avx2NotSaved.enabledStates = 0x3;
  win32::CpuidRegisters avx2WithoutAvx = avx2;
  avx2WithoutAvx.leaf1.ecx = 1u << 27;
  const uint32_t intelWord = 0x1 | 0x2 | 0x4 | 0x10 | 0x20 | 0x40 | 0x1000 | 0x200 | 0x400 | 0x2000;
  const struct {
    const char* name;
    win32::CpuidRegisters registers;
    uint32_t word;
  } cases[] = {
      {"intel avx2", avx2, intelWord | kFeatureAvx2},
      {"avx2 state not saved", avx2NotSaved, intelWord},
      {"avx2 without avx", avx2WithoutAvx, intelWord},
      {"intel sse2", intel, 0x1 | 0x2 | 0x4 | 0x10 | 0x20 | 0x40 | 0x1000 | 0x200 | 0x400 | 0x2000},
      {"amd 0x58c", amd, 0x1 | 0x2 | 0x4 | 0x10 | 0x20 | 0x40 | 0x80 | 0x100 | 0x200 | 0x800},
      {"other vendor", other, 0x1 | 0x2 | 0x4 | 0x20 | 0x80},
      {"no extended leaves", noExtended, 0x1 | 0x2 | 0x20 | 0x200 | 0x400},
      {"no leaf 1", noLeaf1, 0x1},
      {"extended leaf 0 only", onlyExtended0, 0x1 | 0x2},
      {"no cpuid", win32::CpuidRegisters{}, 0x1},
  };
  for (const auto& c : cases) EXPECT_EQ(ProbeCpuFeatures(c.registers), c.word) << c.name;
}

// Runs the variant reporter with TLX_CPU_FEATURES set to `mask` (or unset)
// and returns what it printed.
std::string VariantsUnder(const char* mask) {
  std::string command = mask != nullptr ? std::string("TLX_CPU_FEATURES=") + mask + " " : "env -u TLX_CPU_FEATURES ";
  command += std::string(MPEG4_VARIANT_REPORTER) + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  std::string output;
  char buffer[256];
  while (pipe != nullptr && fgets(buffer, sizeof(buffer), pipe) != nullptr) output += buffer;
  if (pipe != nullptr) pclose(pipe);
  return output;
}

TEST(CpuProbe, MaskSelectsTheVariants) {
  const uint32_t native = ProbeCpuFeatures();
  const std::string nativeChoice = (native & kFeatureSse2) != 0         ? "simd sse2 filter\n"
                                   : (native & kFeatureIntegerSse) != 0 ? "simd isse\n"
                                                                        : "plain mmx\n";
  EXPECT_EQ(VariantsUnder("0"), "plain mmx\n");
  EXPECT_EQ(VariantsUnder("0x20"), "plain mmx\n");
  if ((native & kFeatureIntegerSse) != 0) {
    EXPECT_EQ(VariantsUnder("0x220"), "simd isse\n");
  }
  if ((native & kFeatureSse2) != 0) {
    EXPECT_EQ(VariantsUnder("0x2220"), "simd sse2 filter\n");
  }
  EXPECT_EQ(VariantsUnder(nullptr), nativeChoice);
  // A value that does not parse is ignored, with one warning line.
  const std::string malformed = VariantsUnder("sse2");
  EXPECT_NE(malformed.find("warning"), std::string::npos);
  EXPECT_EQ(malformed.substr(malformed.find('\n') + 1), nativeChoice);
}

}  // namespace
}  // namespace tlx::mpeg4

#include "win32/cpu_features.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace tlx::win32 {

CpuidRegisters ReadCpuidRegisters() {
  CpuidRegisters registers;
#if defined(__x86_64__) || defined(__i386__)
  CpuidLeaf& l0 = registers.leaf0;
  if (__get_cpuid(0, &l0.eax, &l0.ebx, &l0.ecx, &l0.edx) == 0) return registers;
  registers.hasCpuid = true;
  if (l0.eax >= 1) {
    CpuidLeaf& l1 = registers.leaf1;
    __cpuid(1, l1.eax, l1.ebx, l1.ecx, l1.edx);
    registers.hasLeaf1 = true;
    if ((l1.ecx >> 27) & 1) {
      // OSXSAVE: the operating system says which register states it saves.
      uint32_t low = 0, high = 0;
      __asm__ volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
      registers.enabledStates = (uint64_t(high) << 32) | low;
    }
  }
  if (l0.eax >= 7) {
    CpuidLeaf& l7 = registers.leaf7;
    __cpuid_count(7, 0, l7.eax, l7.ebx, l7.ecx, l7.edx);
    registers.hasLeaf7 = true;
  }
  CpuidLeaf& e0 = registers.extended0;
  if (__get_cpuid(0x80000000, &e0.eax, &e0.ebx, &e0.ecx, &e0.edx) != 0 && e0.eax >= 0x80000000) {
    registers.hasExtended = true;
    if (e0.eax >= 0x80000001) {
      CpuidLeaf& e1 = registers.extended1;
      __cpuid(0x80000001, e1.eax, e1.ebx, e1.ecx, e1.edx);
      registers.hasExtended1 = true;
    }
  } else {
    e0 = CpuidLeaf{};
  }
#endif
  return registers;
}

std::optional<uint32_t> ParseCpuFeatureMask(const char* text) {
  if (text == nullptr || *text == '\0') return std::nullopt;
  int base = 10;
  const char* digits = text;
  if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    digits = text + 2;
  }
  if (*digits == '\0' || std::strchr("+- \t", *digits) != nullptr) return std::nullopt;
  char* end = nullptr;
  errno = 0;
  const unsigned long long value = std::strtoull(digits, &end, base);
  if (errno != 0 || *end != '\0' || value > 0xFFFFFFFFULL) return std::nullopt;
  return static_cast<uint32_t>(value);
}

std::optional<uint32_t> CpuFeatureMask() {
  static const std::optional<uint32_t> mask = [] {
    const char* text = std::getenv("TLX_CPU_FEATURES");
    if (text == nullptr) return std::optional<uint32_t>();
    std::optional<uint32_t> parsed = ParseCpuFeatureMask(text);
    if (!parsed) std::fprintf(stderr, "warning: TLX_CPU_FEATURES=\"%s\" is not a number; ignored\n", text);
    return parsed;
  }();
  return mask;
}

}  // namespace tlx::win32

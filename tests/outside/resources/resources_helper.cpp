// Prints the UI language the resource library takes from this process's
// locale and environment.
#include <cstdio>

#include "resources/tlx_pc_resource.h"

int main() {
  std::printf("%u\n", static_cast<unsigned>(TlxPcGetUiLanguage()));
  return 0;
}

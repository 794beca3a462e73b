// Shows the boxes the environment presenter's test scripts, one a line of its
// arguments as "id style", and prints each answer.
#include <cstdio>
#include <cstdlib>

#include "messages/tlx_pc_message.h"

int main(int argc, char** argv) {
  for (int i = 1; i + 1 < argc; i += 2) {
    const auto id = static_cast<UINT>(std::strtoul(argv[i], nullptr, 10));
    const auto style = static_cast<UINT>(std::strtoul(argv[i + 1], nullptr, 10));
    std::printf("%d\n", nTlxPcMessageBox(id, style, nullptr));
  }
  return 0;
}

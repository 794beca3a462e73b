// The second process of the configuration and identity tests. It starts the
// configuration store for the option word given and does one thing:
//   set KEY VALUE   writes the value and prints "ok"
//   get KEY         prints the value
//   identity        prints the identity record in hexadecimal
// The registry and the module search come from the parent's environment.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "link/config/identity_values.h"
#include "link/config/tlx_cfg.h"

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  tlx::link::tlxInitConfig(static_cast<uint32_t>(std::strtoul(argv[1], nullptr, 0)));
  const std::string command = argv[2];
  int status = 0;
  if (command == "set" && argc == 5) {
    tlx::link::tlxCfgSet(argv[3], argv[4]);
    std::printf("ok\n");
  } else if (command == "get" && argc == 4) {
    std::printf("%s\n", tlx::link::tlxCfgGet(argv[3]).c_str());
  } else if (command == "identity") {
    TLX_SYSINFO_RECORD record;
    if (!tlx::link::tlxIdentitySysInfo(&record)) return 1;
    const auto* bytes = reinterpret_cast<const unsigned char*>(&record);
    for (size_t i = 0; i < sizeof record; ++i) std::printf("%02X", bytes[i]);
    std::printf("\n");
  } else {
    status = 2;
  }
  tlx::link::tlxCleanupConfig();
  return status;
}

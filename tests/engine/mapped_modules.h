// The filter modules (".ax" files) mapped into the test process.
#pragma once

#include <fstream>
#include <string>
#include <vector>

namespace tlx::engine::test {

// Each line of the process's memory map that maps a ".ax" file, as the
// loader really holds them.
inline std::vector<std::string> MappedFilterModules() {
  std::ifstream maps("/proc/self/maps");
  std::vector<std::string> modules;
  std::string line;
  while (std::getline(maps, line)) {
    if (line.size() > 3 && line.compare(line.size() - 3, 3, ".ax") == 0) modules.push_back(line);
  }
  return modules;
}

}  // namespace tlx::engine::test

// The filter modules (".ax" files) mapped into the test process.
#pragma once

#include <fstream>
#include <string>
#include <vector>

namespace tlx::engine::test {

// Each line of the process's memory map that maps a ".ax" file's code, as
// the loader holds a module it has not unloaded. Read-only maps of the file
// are left out: the thread checker's symbolizer maps a module's debug
// sections to name its frames, and keeps them after the module is gone.
inline std::vector<std::string> MappedFilterModules() {
  std::ifstream maps("/proc/self/maps");
  std::vector<std::string> modules;
  std::string line;
  while (std::getline(maps, line)) {
    // "start-end perms offset device inode path"
    const size_t perms = line.find(' ') + 1;
    const bool code = perms != 0 && line.size() > perms + 3 && line[perms + 2] == 'x';
    if (code && line.size() > 3 && line.compare(line.size() - 3, 3, ".ax") == 0) modules.push_back(line);
  }
  return modules;
}

}  // namespace tlx::engine::test

// Points the engine at an INI file of the test's own for the test's length.
#pragma once

#include <cstdlib>
#include <fstream>
#include <string>

#include "support/child_process.h"

namespace tlx::engine::test {

class EngineIni {
 public:
  explicit EngineIni(const std::string& text) : path_(folder_.path() / "engine.ini") {
    std::ofstream(path_) << text;
    setenv("TLX_ENGINE_INI", path_.c_str(), 1);
  }
  ~EngineIni() { unsetenv("TLX_ENGINE_INI"); }
  EngineIni(const EngineIni&) = delete;
  EngineIni& operator=(const EngineIni&) = delete;

  void Rewrite(const std::string& text) { std::ofstream(path_) << text; }

 private:
  tlx::test::TempFolder folder_;
  std::filesystem::path path_;
};

}  // namespace tlx::engine::test

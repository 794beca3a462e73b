// A helper program run as a second process by a test: started with
// posix_spawn (never a fork of the threaded test process), talked to through
// its standard input and output.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace tlx::test {

// A folder made for one test and removed with everything in it afterwards.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// The folder of the running test program, where the helpers are built.
std::filesystem::path ProgramFolder();

// The registry store's folder of this test process: made on the first call,
// which points $TLX_REGISTRY_DIR at it (so the helpers the process starts share
// it), and removed when the process ends.
const TempFolder& ProcessRegistryFolder();

class ChildProcess {
 public:
  // Runs `program` (an absolute path, or a name in ProgramFolder) with the
  // arguments.
  ChildProcess(const std::string& program, const std::vector<std::string>& arguments);
  ~ChildProcess();  // kills the child if it still runs
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool started() const { return pid_ > 0; }
  // The next line of output without its end, or "" at the end of output or
  // after the time-out.
  std::string ReadLine(int timeoutMs = 10000);
  void Write(const std::string& text);
  void CloseInput();
  void Kill();
  // The exit status (the signal number plus 128 for a killed child), or -1
  // when the child has not ended within the time-out.
  int Wait(int timeoutMs = 10000);

 private:
  pid_t pid_ = -1;
  int input_ = -1;
  int output_ = -1;
  std::string buffered_;
};

}  // namespace tlx::test

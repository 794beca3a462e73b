// SDL audio's disk driver for real-time sound tests: the driver writes what
// plays to a file in a private temporary folder, which goes with the object.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include "win32/types.h"

namespace tlx::dsound::test {

class DiskAudio {
 public:
  // Selects the disk driver for devices opened from now on, writing to a file
  // in a folder named after `name` and the process. `delayMs` is the pause
  // between the driver's periods; null keeps the driver's own, the pace of
  // real time.
  explicit DiskAudio(const std::string& name, const char* delayMs = nullptr)
      : dir_(std::filesystem::temp_directory_path() / (name + "-" + std::to_string(::getpid()))),
        file_(dir_ / "out.raw") {
    std::filesystem::create_directories(dir_);
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", file_.c_str(), 1);
    if (delayMs != nullptr) {
      setenv("SDL_DISKAUDIODELAY", delayMs, 1);
    } else {
      unsetenv("SDL_DISKAUDIODELAY");
    }
  }
  ~DiskAudio() {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  DiskAudio(const DiskAudio&) = delete;
  DiskAudio& operator=(const DiskAudio&) = delete;

  const std::filesystem::path& File() const { return file_; }

  // Bytes written so far; 0 before the driver has made the file.
  std::uintmax_t Size() const {
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(file_, ec);
    return ec ? 0 : size;
  }

  // The whole file as it stands.
  std::vector<BYTE> Content() const {
    std::ifstream in(file_, std::ios::binary);
    return std::vector<BYTE>(std::istreambuf_iterator<char>(in), {});
  }

 private:
  std::filesystem::path dir_;
  std::filesystem::path file_;
};

}  // namespace tlx::dsound::test

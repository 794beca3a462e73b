// The HTTP servers of the download tests (http_test_server.py), each a second
// process listening on 127.0.0.1.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "win32/text.h"

namespace tlx::test {

class HttpTestServer {
 public:
  // mode and arguments as http_test_server.py takes them.
  explicit HttpTestServer(const std::vector<std::string>& arguments) : process_("/usr/bin/python3", Arguments(arguments)) {
    const std::string line = process_.ReadLine();
    if (line.rfind("ready ", 0) == 0) port_ = std::stoi(line.substr(6));
  }
  int port() const { return port_; }
  std::u16string Url(const std::string& path) const {
    return win32::Utf8ToUtf16("http://127.0.0.1:" + std::to_string(port_) + path);
  }

 private:
  static std::vector<std::string> Arguments(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), TLX_HTTP_TEST_SERVER);
    return arguments;
  }
  ChildProcess process_;
  int port_ = 0;
};

inline std::string ReadFileBytes(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

inline void WriteFileBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace tlx::test

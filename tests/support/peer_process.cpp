#include "support/peer_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

extern char** environ;

namespace tlx::test {
namespace {

constexpr const char* kPython = "/usr/bin/python3";
constexpr int kReadyTimeoutMs = 15000;

std::string MakeFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "tlx-peer-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) return {};
  return pattern;
}

}  // namespace

PeerProcess::PeerProcess(const std::string& scenarioJson, int port) {
  folder_ = MakeFolder();
  if (folder_.empty()) {
    error_ = "cannot create a temporary folder";
    return;
  }
  const std::string scenarioPath = folder_ + "/scenario.json";
  std::ofstream(scenarioPath) << scenarioJson;

  int in[2], out[2];
  if (pipe2(in, O_CLOEXEC) != 0) {
    error_ = "pipe failed";
    return;
  }
  if (pipe2(out, O_CLOEXEC) != 0) {
    close(in[0]);
    close(in[1]);
    error_ = "pipe failed";
    return;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);

  const std::string portText = std::to_string(port);
  const std::string recordPath = folder_ + "/record.jsonl";
  const char* argv[] = {kPython,   TLX_PEER_SCRIPT,    "--scenario", scenarioPath.c_str(), "--port",
                        portText.c_str(), "--record", recordPath.c_str(), nullptr};
  const int rc = posix_spawn(&pid_, kPython, &actions, nullptr, const_cast<char**>(argv), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(in[0]);
  close(out[1]);
  stdinFd_ = in[1];
  stdoutFd_ = out[0];
  if (rc != 0) {
    pid_ = -1;
    error_ = "cannot start " + std::string(kPython);
    return;
  }

  // Read the first line: "ready <port>".
  std::string line;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kReadyTimeoutMs);
  while (line.find('\n') == std::string::npos) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    pollfd p{stdoutFd_, POLLIN, 0};
    if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0) {
      error_ = "the peer did not become ready";
      return;
    }
    char buffer[256];
    const ssize_t n = read(stdoutFd_, buffer, sizeof buffer);
    if (n <= 0) {
      error_ = "the peer ended before it was ready (see its standard error)";
      return;
    }
    line.append(buffer, static_cast<size_t>(n));
  }
  if (line.rfind("ready ", 0) != 0 || (port_ = std::atoi(line.c_str() + 6)) <= 0) {
    port_ = 0;
    error_ = "unexpected first line from the peer: " + line;
  }
}

PeerProcess::~PeerProcess() {
  Stop();
  if (!folder_.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
}

void PeerProcess::Stop() {
  if (stdinFd_ >= 0) close(stdinFd_);  // the peer exits when its input ends
  stdinFd_ = -1;
  if (pid_ > 0) {
    int status = 0;
    bool exited = false;
    for (int i = 0; i < 500 && !exited; ++i) {
      exited = waitpid(pid_, &status, WNOHANG) == pid_;
      if (!exited) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!exited) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
    }
    pid_ = -1;
  }
  if (stdoutFd_ >= 0) close(stdoutFd_);
  stdoutFd_ = -1;
}

std::vector<std::string> PeerProcess::RecordLines() const {
  std::vector<std::string> lines;
  std::ifstream in(folder_ + "/record.jsonl");
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace tlx::test

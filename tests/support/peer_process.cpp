#include "support/peer_process.h"

#include <cstdlib>
#include <fstream>

namespace tlx::test {
namespace {

constexpr const char* kPython = "/usr/bin/python3";
constexpr int kReadyTimeoutMs = 15000;

std::vector<std::string> PeerArguments(const TempFolder& folder, const std::string& scenarioJson, int port) {
  const std::string scenario = (folder.path() / "scenario.json").string();
  std::ofstream(scenario) << scenarioJson;
  return {TLX_PEER_SCRIPT, "--scenario", scenario, "--port", std::to_string(port),
          "--record", (folder.path() / "record.jsonl").string()};
}

}  // namespace

PeerProcess::PeerProcess(const std::string& scenarioJson, int port)
    : process_(kPython, PeerArguments(folder_, scenarioJson, port)) {
  if (!process_.started()) {
    error_ = std::string("cannot start ") + kPython;
    return;
  }
  const std::string line = process_.ReadLine(kReadyTimeoutMs);
  if (line.rfind("ready ", 0) != 0 || (port_ = std::atoi(line.c_str() + 6)) <= 0) {
    port_ = 0;
    error_ = line.empty() ? "the peer did not become ready (see its standard error)"
                          : "unexpected first line from the peer: " + line;
  }
}

PeerProcess::~PeerProcess() {
  process_.CloseInput();  // the peer exits when its input ends
  if (process_.Wait(5000) == -1) {
    process_.Kill();
    process_.Wait();
  }
}

std::vector<std::string> PeerProcess::RecordLines() const {
  std::vector<std::string> lines;
  std::ifstream in(folder_.path() / "record.jsonl");
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string PeerProcess::Command(const std::string& commandJson) {
  process_.Write(commandJson + "\n");
  return process_.ReadLine();
}

std::vector<std::vector<int>> TvRequestWords(const PeerProcess& peer) {
  std::vector<std::vector<int>> requests;
  for (const std::string& line : peer.RecordLines()) {
    if (line.find("\"tv_record\"") == std::string::npos || line.find("\"type\": 0") == std::string::npos) continue;
    const size_t at = line.find("\"words\": [");
    if (at == std::string::npos) continue;
    std::vector<int> words;
    const char* p = line.c_str() + at + 10;
    while (*p != ']' && *p != '\0') {
      char* end = nullptr;
      words.push_back(static_cast<int>(std::strtol(p, &end, 10)));
      if (end == p) break;
      p = end;
      while (*p == ',' || *p == ' ') ++p;
    }
    requests.push_back(words);
  }
  return requests;
}

}  // namespace tlx::test

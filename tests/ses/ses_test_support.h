// Test helpers for sealed payloads: a scoped fixed random source, hex text and
// the command line of the test peer's seal module.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "ses/ses_coding.h"
#include "ses/ses_message.h"
#include "ses/ses_packet.h"
#include "ses/ses_random.h"

using Bytes = std::vector<uint8_t>;

// While alive, the library's random bytes come from `bytes` in order; drawing
// more than that is a test failure.
class FixedRandom {
 public:
  explicit FixedRandom(const Bytes& bytes) : queue_(bytes.begin(), bytes.end()) {
    sesSetRandomSource([this](uint8_t* out, size_t n) {
      for (size_t i = 0; i < n; ++i) {
        if (queue_.empty()) {
          ADD_FAILURE() << "more random bytes drawn than fixed";
          out[i] = 0;
          continue;
        }
        out[i] = queue_.front();
        queue_.pop_front();
      }
    });
  }
  ~FixedRandom() { sesSetRandomSource(nullptr); }
  FixedRandom(const FixedRandom&) = delete;
  FixedRandom& operator=(const FixedRandom&) = delete;
  size_t left() const { return queue_.size(); }

 private:
  std::deque<uint8_t> queue_;
};

inline std::string toHex(const void* data, size_t n) {
  std::string text(2 * n + 1, '\0');
  text.resize(static_cast<size_t>(sesHexEncode(data, static_cast<int>(n), text.data())));
  return text;
}

inline std::string toHex(const Bytes& bytes) { return toHex(bytes.data(), bytes.size()); }

inline Bytes fromHex(const std::string& text) {
  Bytes bytes;
  for (size_t i = 0; i + 1 < text.size(); i += 2) {
    bytes.push_back(static_cast<uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
  }
  return bytes;
}

// Deterministic test bytes.
inline Bytes patternBytes(size_t n, uint8_t seed) {
  Bytes bytes(n);
  for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(seed * 31 + i * 7 + (i >> 3));
  return bytes;
}

struct PeerResult {
  int status = -1;
  std::string out;  // standard output without its last line end
};

// Runs a Python program with `args` (shell words: the tests pass letters,
// digits, hex and quoted paths); its error output is dropped.
inline PeerResult runPythonTool(const std::string& script, const std::string& args) {
  std::string command = "/usr/bin/python3 " + script + " " + args + " 2>/dev/null";
  PeerResult result;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return result;
  char chunk[4096];
  size_t got;
  while ((got = fread(chunk, 1, sizeof chunk, pipe)) > 0) result.out.append(chunk, got);
  int status = pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  while (!result.out.empty() && result.out.back() == '\n') result.out.pop_back();
  return result;
}

// Runs the peer's seal module.
inline PeerResult runSealPeer(const std::string& args) { return runPythonTool(TLX_SEAL_PEER, args); }

// Seals with the packet variant (prefix FF FF FF FF) or the message variant;
// empty when the seal fails.
inline Bytes sealPayload(bool packet, const char* keyText, const Bytes& payload) {
  if (packet) {
    SesPacket sealer;
    sealer.setKeyText(keyText);
    Bytes out(SesPacket::sealedSize(payload.size()));
    if (!sealer.seal(payload.data(), payload.size(), out.data())) return {};
    return out;
  }
  SesBytes out;
  if (!SesMessage::seal(payload.data(), payload.size(), keyText, out)) return {};
  return Bytes(out.data(), out.data() + out.size());
}

inline bool openPayload(bool packet, const char* keyText, const Bytes& sealed, Bytes* payload) {
  if (packet) {
    SesPacket opener;
    opener.setKeyText(keyText);
    Bytes out(sealed.size());
    size_t length = 0;
    if (!opener.open(sealed.data(), sealed.size(), out.data(), &length)) return false;
    out.resize(length);
    *payload = out;
    return true;
  }
  SesBytes out;
  if (!SesMessage::open(sealed.data(), sealed.size(), keyText, out)) return false;
  payload->assign(out.data(), out.data() + out.size());
  return true;
}

inline const char* variantName(bool packet) { return packet ? "packet" : "message"; }

#include "auth/password.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "auth/auth_log.h"
#include "auth/auth_state.h"
#include "auth/md5.h"
#include "auth/sys_info.h"
#include "auth/tlx_authentication.h"

namespace tlx::auth {

namespace {

// The block and constants both sides of an easy registration mix the nonce
// with; the base station holds the same.
constexpr size_t kMixingBlockSize = 92;
constexpr std::array<uint8_t, kMixingBlockSize> MakeMixingBlock() {
  std::array<uint8_t, kMixingBlockSize> block{};
  for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint8_t>((0xA7 + 29 * i) % 256);
  return block;
}
constexpr std::array<uint8_t, kMixingBlockSize> kMixingBlock = MakeMixingBlock();
constexpr uint64_t kM1 = 4256249;
constexpr uint64_t kC1 = 15485863;
constexpr uint64_t kM2 = 69069011;
constexpr uint64_t kC2 = 2531011;

}  // namespace

int registration_MakePassword(char* out, int outLen, const char* nonce) {
  if (out == nullptr || outLen < 1) return -1;
  std::memset(out, 0, static_cast<size_t>(outLen));
  if (nonce == nullptr || *nonce == '\0') {
    tlxAuthLog("%s: NULL or empty nonce\n\n", "registration_MakePassword");
    return -1;
  }
  const auto* n = reinterpret_cast<const uint8_t*>(nonce);
  const uint64_t length = std::strlen(nonce);
  std::vector<uint8_t> work(n, n + length);
  work.insert(work.end(), kMixingBlock.begin(), kMixingBlock.end());

  uint64_t r = work[0];
  uint64_t x = r % length;
  for (uint8_t& byte : work) {
    const uint64_t t = (kM1 * (r + n[x]) + kC1) % 65535;
    r = (kM2 * (t + n[t % length]) + kC2) % 65535;
    x = r % length;
    byte = static_cast<uint8_t>(byte ^ (r & 0xFF) ^ n[x]);
  }
  char hex[33];
  tlxMd5Hex(work.data(), work.size(), hex, sizeof hex);
  const int digits = std::min(outLen - 1, 32);
  std::memcpy(out, hex, static_cast<size_t>(digits));
  return 0;
}

int Ravix_Get_KeyKK(char* out, int size) {
  if (out == nullptr || size < 1) return -1;
  std::memset(out, 0, static_cast<size_t>(size));
  tlxAuthLog("Ravix_Get_KeyKK: keySize: %d\n\n", size);
  char sharedKey[129 + 1];
  if (sysInfoRead(SYSINFO_SHARED_KEY, sharedKey, sizeof sharedKey) != 0) {
    tlxAuthLog("getting AES key\n\n");
    return -1;
  }
  const std::string text = std::string(tlxAuthState().serverNonce).substr(0, 223) + std::string(sharedKey, 32);
  tlxMd5Hex(text.data(), text.size(), out, size);
  return 0;
}

}  // namespace tlx::auth

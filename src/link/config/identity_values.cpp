#include "link/config/identity_values.h"

#include <sys/random.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <vector>

#include "link/config/registry_text.h"
#include "link/config/tlx_cfg.h"
#include "link/os/tlx_log.h"

namespace tlx::link {
namespace {

constexpr char kIdentityKey[] = "Software\\Marovi Corporation\\TLX\\Identity";
constexpr char kIdentAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
constexpr char kHexDigits[] = "0123456789ABCDEF";

// One stored value: its registry name, its length in characters, whether it
// must be upper-case hexadecimal, and how a fresh one is made.
struct StoredValue {
  const char* name;
  size_t chars;
  bool hex;
  std::string (*make)();
};

bool RandomBytes(uint8_t* out, size_t size) {
  while (size > 0) {
    const ssize_t got = getrandom(out, size, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    out += got;
    size -= static_cast<size_t>(got);
  }
  return true;
}

std::string Hex(const uint8_t* bytes, size_t size) {
  std::string text;
  for (size_t i = 0; i < size; ++i) {
    text += kHexDigits[bytes[i] >> 4];
    text += kHexDigits[bytes[i] & 15];
  }
  return text;
}

int HexDigit(char c) {
  const char* found = std::strchr(kHexDigits, c);
  return c != '\0' && found != nullptr ? static_cast<int>(found - kHexDigits) : -1;
}

// A random locally administered unicast MAC.
std::string RandomMac() {
  uint8_t mac[kIdentityMacSize];
  if (!RandomBytes(mac, sizeof mac)) return {};
  mac[0] = static_cast<uint8_t>((mac[0] & 0xFC) | 0x02);
  return Hex(mac, sizeof mac);
}

std::string MacOf(bool wireless) {
  uint8_t mac[kIdentityMacSize];
  return tlxIdentityFindMac("/sys/class/net", wireless, mac) ? Hex(mac, sizeof mac) : RandomMac();
}

std::string MakeEtherMac() { return MacOf(false); }
std::string MakeWlanMac() { return MacOf(true); }

std::string MakeIdent() {
  std::string ident;
  // Bytes at or above the last whole multiple of the alphabet are drawn again,
  // so every character is equally likely.
  constexpr size_t kAlphabet = sizeof kIdentAlphabet - 1;
  constexpr uint8_t kLimit = 256 / kAlphabet * kAlphabet;
  while (ident.size() < kIdentityIdentChars) {
    uint8_t byte;
    if (!RandomBytes(&byte, 1)) return {};
    if (byte < kLimit) ident += kIdentAlphabet[byte % kAlphabet];
  }
  return ident;
}

std::string MakeSharedKey() {
  uint8_t key[kIdentitySharedKeySize];
  return RandomBytes(key, sizeof key) ? Hex(key, sizeof key) : std::string();
}

constexpr StoredValue kEtherMac{"EtherMac", 2 * kIdentityMacSize, true, MakeEtherMac};
constexpr StoredValue kWlanMac{"WlanMac", 2 * kIdentityMacSize, true, MakeWlanMac};
constexpr StoredValue kPlayerIdent{"PlayerIdent", kIdentityIdentChars, false, MakeIdent};
constexpr StoredValue kSharedKey{"SharedKey", 2 * kIdentitySharedKeySize, true, MakeSharedKey};

bool WellFormed(const StoredValue& value, const std::string& text) {
  if (text.size() != value.chars) return false;
  return std::all_of(text.begin(), text.end(), [&](char c) {
    return value.hex ? HexDigit(c) >= 0 : std::strchr(kIdentAlphabet, c) != nullptr && c != '\0';
  });
}

std::mutex& ProviderLock() {
  static std::mutex lock;
  return lock;
}

// The stored text of a value, made and stored first when it is absent or
// malformed; empty when it cannot be stored.
std::string Stored(const StoredValue& value) {
  std::lock_guard guard(ProviderLock());
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, kIdentityKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                      &key, nullptr) != ERROR_SUCCESS) {
    tlxLog("[ERR] [identity] cannot open the identity key\n");
    return {};
  }
  std::string text = tlxRegReadText(key, value.name);
  if (!WellFormed(value, text)) {
    if (!text.empty()) tlxLog("[ERR] [identity] malformed %s replaced\n", value.name);
    text = value.make();
    if (text.empty() || !tlxRegWriteText(key, value.name, text)) {
      tlxLog("[ERR] [identity] cannot store %s\n", value.name);
      text.clear();
    }
  }
  RegCloseKey(key);
  return text;
}

// The bytes of a stored hexadecimal value into `out`; its length or -1.
int StoredBytes(const StoredValue& value, void* out, int size) {
  const std::string text = Stored(value);
  const int length = static_cast<int>(value.chars / 2);
  if (text.empty() || size < length) return -1;
  auto* bytes = static_cast<uint8_t*>(out);
  for (int i = 0; i < length; ++i) bytes[i] = static_cast<uint8_t>(HexDigit(text[2 * i]) << 4 | HexDigit(text[2 * i + 1]));
  return length;
}

int CopyText(const std::string& text, void* out, int size) {
  if (text.empty() || size < static_cast<int>(text.size())) return -1;
  std::memcpy(out, text.data(), text.size());
  return static_cast<int>(text.size());
}

}  // namespace

int tlxIdentityValueRead(int id, void* out, int size) {
  if (out == nullptr || size < 0) return -1;
  switch (id) {
    case kIdentityModelName:
    case SYSINFO_INFO_MODEL_P:
      return CopyText(tlxCfgGet("tlx/modelname_reg"), out, size);
    case SYSINFO_ETHER_MAC_ADDR_P:
      return StoredBytes(kEtherMac, out, size);
    case SYSINFO_WLAN_MAC_ADDR_P:
      return StoredBytes(kWlanMac, out, size);
    case SYSINFO_PLAYER_IDENT:
      return CopyText(Stored(kPlayerIdent), out, size);
    case SYSINFO_SHARED_KEY:
      return StoredBytes(kSharedKey, out, size);
    default:
      return -1;
  }
}

bool tlxIdentitySysInfo(TLX_SYSINFO_RECORD* out) {
  TLX_SYSINFO_RECORD record{};
  const bool complete =
      tlxIdentityValueRead(SYSINFO_INFO_MODEL_P, record.modelName, sizeof record.modelName - 1) > 0 &&
      tlxIdentityValueRead(SYSINFO_ETHER_MAC_ADDR_P, record.etherMac, sizeof record.etherMac) > 0 &&
      tlxIdentityValueRead(SYSINFO_WLAN_MAC_ADDR_P, record.wlanMac, sizeof record.wlanMac) > 0 &&
      tlxIdentityValueRead(SYSINFO_PLAYER_IDENT, record.playerIdent, sizeof record.playerIdent - 1) > 0 &&
      tlxIdentityValueRead(SYSINFO_SHARED_KEY, record.sharedKey, sizeof record.sharedKey) > 0;
  if (complete) *out = record;
  return complete;
}

void tlxIdentityForgetBase() {}

bool tlxIdentityFindMac(const std::string& sysClassNet, bool wireless, uint8_t mac[kIdentityMacSize]) {
  namespace fs = std::filesystem;
  std::error_code error;
  std::vector<fs::path> interfaces;
  for (const auto& entry : fs::directory_iterator(sysClassNet, error)) interfaces.push_back(entry.path());
  std::sort(interfaces.begin(), interfaces.end());
  for (const fs::path& folder : interfaces) {
    const bool isWireless = fs::exists(folder / "wireless", error) || fs::exists(folder / "phy80211", error);
    if (isWireless != wireless) continue;
    if (!wireless) {
      int type = 0;
      std::ifstream typeFile(folder / "type");
      if (!(typeFile >> type) || type != 1) continue;
    }
    std::ifstream addressFile(folder / "address");
    std::string text;
    if (!std::getline(addressFile, text)) continue;
    unsigned parts[kIdentityMacSize];
    char end;
    if (std::sscanf(text.c_str(), "%2x:%2x:%2x:%2x:%2x:%2x%c", &parts[0], &parts[1], &parts[2], &parts[3], &parts[4],
                    &parts[5], &end) != kIdentityMacSize) {
      continue;
    }
    if (std::all_of(parts, parts + kIdentityMacSize, [](unsigned part) { return part == 0; })) continue;
    for (int i = 0; i < kIdentityMacSize; ++i) mac[i] = static_cast<uint8_t>(parts[i]);
    return true;
  }
  return false;
}

}  // namespace tlx::link

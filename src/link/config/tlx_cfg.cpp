#include "link/config/tlx_cfg.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <shared_mutex>
#include <vector>

#include "link/config/identity_values.h"
#include "link/config/link_ports.h"
#include "link/config/registry_text.h"
#include "link/config/tlx_auth_fns.h"
#include "link/os/event_mgr.h"
#include "link/os/tlx_log.h"
#include "win32/modules.h"
#include "win32/paths.h"
#include "win32/registry.h"

namespace tlx::link {
namespace {

constexpr char kRootPrefix[] = "Software\\Marovi Corporation\\TLX\\";

constexpr uint32_t kScopeBase = 1u << 0;     // below "set<N>/"
constexpr uint32_t kScopeBinding = 1u << 1;  // below "bind<M>/"

struct FixedValue {
  const char* key;
  const char* value;
};
constexpr FixedValue kFixedValues[] = {
    {"network/conntype", "EtherS"}, {"network/etherav/useEtherAV", "1"}, {"network/ether/IPaddress", "127.0.0.1"},
    {"tvconf/backlight", ""},       {"tvconf/screen", ""},               {"tvconf/tvpos", ""},
    {"tvconf/videoon", ""},         {"tvconf/lastch", ""},               {"hnet/conntype", ""},
    {"network/etherav/ipaddr", ""},
};

struct ScopeFlag {
  const char* key;
  uint32_t flags;
};
constexpr ScopeFlag kScopeFlags[] = {
    {"network/etherav/ipaddr", kScopeBase},
    {"wlan/STA/0/RF/band", kScopeBase},
    {"wlan/STA/0/RF/channel", kScopeBase},
    {"wlan/STA/0/RF/channelAuto", kScopeBase},
};

constexpr FixedValue kPersistentDefaults[] = {
    {"network/ravix/port", "5021"},
    {"network/ravix/useRavix", "1"},
    {"network/ravix/hostname", ""},
};

// What tlxSystem_ClearConfig deletes.
constexpr const char* kClearedKeys[] = {"network/etherav/ipaddr", "network/ravix/port", "network/ravix/useravix",
                                        "network/ravix/hostname"};

constexpr int kBaseSel = 0;
constexpr int kBindSel = 0;
constexpr size_t kAddressChars = 15;

struct Store {
  std::shared_mutex lock;  // everything below
  std::map<std::string, std::string> fixed;
  std::map<std::string, std::string> runtime;
  std::map<std::string, uint32_t> scopes;
  HKEY root = nullptr;
  std::string baseAddress;
  std::string playerAddress;
};

Store& store() {
  static Store instance;
  return instance;
}

template <typename Map>
const typename Map::mapped_type* Find(const Map& map, const std::string& key) {
  const auto found = map.find(key);
  return found == map.end() ? nullptr : &found->second;
}

// The subkey path (components joined by '\', empty ones skipped, each cut to
// the longest scoped key) and the value name of a scoped key.
void SplitScopedKey(const std::string& scoped, std::string* subKey, std::string* valueName) {
  const size_t slash = scoped.rfind('/');
  *valueName = slash == std::string::npos ? scoped : scoped.substr(slash + 1);
  subKey->clear();
  if (slash == std::string::npos) return;
  size_t start = 0;
  while (start < slash) {
    size_t end = scoped.find('/', start);
    if (end > slash) end = slash;
    if (end > start) {
      if (!subKey->empty()) *subKey += '\\';
      *subKey += scoped.substr(start, std::min(end - start, kCfgScopedKeyMax));
    }
    start = end + 1;
  }
}

std::string ReadRegistry(HKEY root, const std::string& scoped) {
  std::string subKey, name;
  SplitScopedKey(scoped, &subKey, &name);
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, subKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return {};
  std::string text = tlxRegReadText(key, name.c_str());
  RegCloseKey(key);
  return text;
}

void WriteRegistry(HKEY root, const std::string& scoped, const char* text) {
  std::string subKey, name;
  SplitScopedKey(scoped, &subKey, &name);
  HKEY key = nullptr;
  if (RegCreateKeyExA(root, subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                      nullptr) != ERROR_SUCCESS) {
    return;
  }
  tlxRegWriteText(key, name.c_str(), text);
  RegCloseKey(key);
}

void DeleteRegistry(HKEY root, const std::string& scoped) {
  std::string subKey, name;
  SplitScopedKey(scoped, &subKey, &name);
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, subKey.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
  RegDeleteValueA(key, name.c_str());
  RegCloseKey(key);
}

// The scoped key under the store's lock (shared or exclusive).
bool ScopedKeyLocked(const Store& s, const std::string& key, std::string* out) {
  const uint32_t* flags = Find(s.scopes, key);
  char prefix[16] = "";
  if (flags != nullptr && (*flags & kScopeBase) != 0) {
    std::snprintf(prefix, sizeof prefix, "set%d/", kBaseSel);
  } else if (flags != nullptr && (*flags & kScopeBinding) != 0) {
    std::snprintf(prefix, sizeof prefix, "bind%d/", kBindSel);
  } else if (key.rfind("def/", 0) != 0) {
    std::snprintf(prefix, sizeof prefix, "common/");
  }
  std::string scoped = prefix + key;
  if (scoped.size() > kCfgScopedKeyMax) {
    tlxLog("[ERR] [cfg] key too long: %s\n", key.c_str());
    return false;
  }
  *out = std::move(scoped);
  return true;
}

std::string CopyOfAddress(const std::string& text) { return text.substr(0, kAddressChars); }

// The folder of this library's file, with its '/'.
std::string ModuleFolder() {
  const std::string path = win32::ModulePathOfAddress(reinterpret_cast<const void*>(&tlxInitConfig));
  return path.substr(0, win32::FileNameOffset(path));
}

void RegisterIdentity() {
  TLX_SYSINFO_RECORD record;
  if (tlxIdentitySysInfo(&record)) {
    tlxAuthSysInfoRegister(&record);
  } else {
    tlxLog("[ERR] [cfg] the identity values are not available\n");
  }
}

}  // namespace

TlxModelNames tlxCfgModelNames(uint32_t optionWord) {
  switch (optionWord) {
    case 0x301:
      return {"QZM-K3JP", "QZA-K20JP", "JP"};
    case 0x302:
      return {"QZM-K3TW", "QZA-K20TW", "TW"};
    case 0x303:
      return {"QZM-K3KR", "QZA-K20KR", "KR"};
    default:
      if (optionWord >= 0x310 && optionWord <= 0x315) return {"QZM-K3EU", "QZA-K20EU", "EU"};
      return {"QZM-K3US", "QZA-K20US", "US"};
  }
}

int tlxInitConfig(uint32_t optionWord) {
  Store& s = store();
  const TlxModelNames names = tlxCfgModelNames(optionWord);
  int result = 0;
  {
    std::unique_lock lock(s.lock);
    s.runtime["tlx/modelname_str"] = names.str;
    s.runtime["tlx/modelname_reg"] = names.reg;
    s.runtime["tlx/modelname_rcom"] = names.rcom;
    if (s.root == nullptr) {
      const std::string root = std::string(kRootPrefix) + names.str;
      if (RegCreateKeyExA(HKEY_CURRENT_USER, root.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                          nullptr, &s.root, nullptr) != ERROR_SUCCESS) {
        tlxLog("[ERR] [cfg] cannot open the registry root %s\n", root.c_str());
        s.root = nullptr;
        result = -1;
      }
    }
    for (const FixedValue& fixed : kFixedValues) s.fixed[fixed.key] = fixed.value;
    for (const ScopeFlag& scope : kScopeFlags) s.scopes[scope.key] = scope.flags;
  }
  for (const FixedValue& fallback : kPersistentDefaults) {
    if (tlxCfgGet(fallback.key).empty()) tlxCfgSet(fallback.key, fallback.value);
  }
  {
    std::unique_lock lock(s.lock);
    s.runtime["module_path"] = ModuleFolder();
  }
  RegisterIdentity();
  const TlxLinkDirectAddrs& direct = tlxLinkDirectAddrs();
  const std::string base = direct.base.empty() ? tlxCfgGet("network/etherav/ipaddr") : direct.base;
  const std::string player = direct.player.empty() ? tlxCfgGet("network/ether/IPaddress") : direct.player;
  std::unique_lock lock(s.lock);
  s.baseAddress = CopyOfAddress(base);
  s.playerAddress = CopyOfAddress(player);
  return result;
}

void tlxCleanupConfig() {
  Store& s = store();
  std::unique_lock lock(s.lock);
  s.fixed.clear();
  s.runtime.clear();
  s.scopes.clear();
  s.baseAddress.clear();
  s.playerAddress.clear();
  if (s.root != nullptr) RegCloseKey(s.root);
  s.root = nullptr;
}

std::string tlxCfgGet(const char* key) {
  if (key == nullptr) return {};
  Store& s = store();
  std::shared_lock lock(s.lock);
  const std::string name(key);
  if (const std::string* fixed = Find(s.fixed, name)) return *fixed;
  if (const std::string* runtime = Find(s.runtime, name)) return *runtime;
  std::string scoped;
  if (s.root == nullptr || !ScopedKeyLocked(s, name, &scoped)) return {};
  return ReadRegistry(s.root, scoped);
}

void tlxCfgSet(const char* key, const char* text) {
  if (key == nullptr || text == nullptr) return;
  Store& s = store();
  const std::string name(key);
  std::unique_lock lock(s.lock);
  if (Find(s.fixed, name) != nullptr) return;
  if (const auto runtime = s.runtime.find(name); runtime != s.runtime.end()) {
    runtime->second = text;
    return;
  }
  std::string scoped;
  if (s.root == nullptr || !ScopedKeyLocked(s, name, &scoped)) return;
  WriteRegistry(s.root, scoped, text);
}

void tlxCfgDelete(const char* key) {
  if (key == nullptr) return;
  Store& s = store();
  std::shared_lock lock(s.lock);
  std::string scoped;
  if (s.root == nullptr || !ScopedKeyLocked(s, key, &scoped)) return;
  DeleteRegistry(s.root, scoped);
}

bool tlxCfgScopedKey(const char* key, std::string* out) {
  if (key == nullptr) return false;
  Store& s = store();
  std::shared_lock lock(s.lock);
  return ScopedKeyLocked(s, key, out);
}

int tlxCfgLoadCategory(const char* fileName, int) {
  if (fileName == nullptr || *fileName == '\0') return -1;
  std::string path = win32::NativePath(fileName);
  if (path[0] != '/') path = tlxCfgGet("module_path") + path;
  std::ifstream file(path, std::ios::binary);
  if (!file) return 0;
  std::vector<std::pair<std::string, std::string>> values;
  std::string line;
  bool tooLong = false;
  for (char c; file.get(c);) {
    if (c != '\r' && c != '\n') {
      if (line.size() < kCfgLineMax) {
        line += c;
      } else {
        tooLong = true;
      }
      continue;
    }
    const size_t equals = line.find('=');
    if (!tooLong && equals != std::string::npos && equals > 0) {
      values.emplace_back(line.substr(0, equals), line.substr(equals + 1));
    }
    line.clear();
    tooLong = false;
  }
  Store& s = store();
  std::unique_lock lock(s.lock);
  for (auto& [name, value] : values) s.runtime[name] = std::move(value);
  return 0;
}

int tlxCfgCopyFile(const char* from, const char* to) {
  if (from == nullptr || to == nullptr) return -1;
  const std::string source = win32::NativePath(from);
  const std::string target = win32::NativePath(to);
  std::error_code error;
  if (!std::filesystem::copy_file(source, target, std::filesystem::copy_options::overwrite_existing, error)) {
    return -1;
  }
  std::filesystem::permissions(target, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::add, error);
  return error ? -1 : 0;
}

void tlxCfgNotifyIndex(int) {
  const int32_t words[2] = {0, 0};
  eventMgrPost(EVENT_ID_NETCONFIG, words, sizeof words, 0);
}

int tlxSystem_GetBaseSel() { return kBaseSel; }

int tlxSystem_ClearConfig() {
  for (const char* key : kClearedKeys) tlxCfgDelete(key);
  tlxIdentityForgetBase();
  return 0;
}

std::string tlxCfgBaseDirectAddress() {
  Store& s = store();
  std::shared_lock lock(s.lock);
  return s.baseAddress;
}

std::string tlxCfgPlayerDirectAddress() {
  Store& s = store();
  std::shared_lock lock(s.lock);
  return s.playerAddress;
}

}  // namespace tlx::link

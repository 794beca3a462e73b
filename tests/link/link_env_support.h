// Shared by the tests of the configuration store, the identity values and the
// two run-time modules: a registry of the test process's own, the stub
// modules first in the module search, and direct access to what the store
// wrote.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "win32/registry.h"

namespace tlx::link::test {

inline constexpr char kTlxKey[] = "Software\\Marovi Corporation\\TLX";

// Sets the environment once per process: the registry in a folder of its own,
// the stub folder first in the module search, and the authentication stub
// unless the test program names another module.
inline void UseTestEnvironment() {
  static tlx::test::TempFolder registry;
  static const bool set = [] {
    setenv("TLX_REGISTRY_DIR", registry.path().c_str(), 1);
    setenv("TLX_MODULE_PATH", LINK_STUB_FOLDER, 1);
    setenv("TLX_AUTH_MODULE", "TlxAuthStub.dll", 0);
    return true;
  }();
  (void)set;
}

// Deletes a key of HKEY_CURRENT_USER with everything below it.
inline void DeleteTree(const std::string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
  std::vector<std::string> children;
  char name[256];
  for (DWORD index = 0;; ++index) {
    DWORD chars = sizeof name;
    if (RegEnumKeyExA(key, index, name, &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    children.emplace_back(name, chars);
  }
  RegCloseKey(key);
  for (const std::string& child : children) DeleteTree(path + "\\" + child);
  RegDeleteKeyA(HKEY_CURRENT_USER, path.c_str());
}

// Writes a value below HKEY_CURRENT_USER as another program might.
inline void WriteValue(const std::string& path, const char* name, DWORD type, const void* data, DWORD size) {
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                           &key, nullptr));
  EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size));
  RegCloseKey(key);
}

inline void WriteText(const std::string& path, const char* name, const std::string& text) {
  WriteValue(path, name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

// The REG_SZ text of a value below HKEY_CURRENT_USER (its NUL dropped), or
// "<missing>".
inline std::string ReadText(const std::string& path, const char* name) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return "<missing>";
  char data[512] = {};
  DWORD size = sizeof data - 1;
  DWORD type = 0;
  const LSTATUS status = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS || type != REG_SZ) return "<missing>";
  return std::string(data, size > 0 && data[size - 1] == '\0' ? size - 1 : size);
}

// An export of a stub module, from the copy the process has loaded (or loads
// now) by its absolute path.
template <typename Function>
Function StubEntry(const char* file, const char* name) {
  void* module = dlopen((std::string(LINK_STUB_FOLDER) + "/" + file).c_str(), RTLD_NOW | RTLD_LOCAL);
  return module == nullptr ? nullptr : reinterpret_cast<Function>(dlsym(module, name));
}

}  // namespace tlx::link::test

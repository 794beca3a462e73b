// The second process of the service tests. Each command does one thing the
// tests need another process for and reports on standard output.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "win32/registry.h"

namespace {

int Print(long value) {
  std::printf("%ld\n", value);
  std::fflush(stdout);
  return 0;
}

// registry-write KEY PREFIX COUNT: writes DWORD values PREFIXi = i under KEY
// of HKEY_CURRENT_USER, printing i after each; COUNT -1 writes until killed.
int RegistryWrite(const char* path, const std::string& prefix, long count) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return 1;
  }
  for (long i = 0; count < 0 || i < count; ++i) {
    const DWORD value = static_cast<DWORD>(i);
    const std::string name = prefix + std::to_string(i);
    if (RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value)) !=
        ERROR_SUCCESS) {
      return 2;
    }
    Print(i);
  }
  return RegCloseKey(key) == ERROR_SUCCESS ? 0 : 3;
}

// registry-probe FOLDER: opens HKEY_LOCAL_MACHINE kept in FOLDER and prints
// the result of creating a key there.
int RegistryProbe(const char* folder) {
  setenv("TLX_REGISTRY_DIR", folder, 1);
  HKEY key = nullptr;
  const LSTATUS status =
      RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Probe", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  if (status == ERROR_SUCCESS) RegCloseKey(key);
  return Print(status);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "registry-write" && argc == 5) return RegistryWrite(argv[2], argv[3], std::atol(argv[4]));
  if (command == "registry-probe" && argc == 3) return RegistryProbe(argv[2]);
  std::fprintf(stderr, "win32_services_helper: unknown command\n");
  return 64;
}

#include "link/config/registry_text.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace tlx::link {

std::string tlxRegReadText(HKEY key, const char* name) {
  DWORD size = 0;
  if (RegQueryValueExA(key, name, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS || size == 0) return {};
  std::vector<char> buffer(size + 1, '\0');
  if (RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer.data()), &size) !=
      ERROR_SUCCESS) {
    return {};
  }
  return std::string(buffer.data(), strnlen(buffer.data(), std::min<size_t>(size, buffer.size())));
}

bool tlxRegWriteText(HKEY key, const char* name, const std::string& text) {
  return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>(text.size() + 1)) == ERROR_SUCCESS;
}

}  // namespace tlx::link

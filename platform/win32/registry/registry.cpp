#include "win32/registry.h"

#include <cstring>
#include <mutex>
#include <unordered_map>

#include "win32/paths.h"
#include "hive.h"
#include "win32/text.h"

namespace tlx::win32::registry {
namespace {

struct OpenKey {
  Hive* hive = nullptr;
  KeyId id = kRootKey;
  REGSAM access = 0;
};

// The process's open keys, by handle value.
struct HandleTable {
  std::mutex lock;
  std::unordered_map<uintptr_t, OpenKey> keys;
  uintptr_t next = 0x1000;
};

HandleTable& Handles() {
  static auto* table = new HandleTable();
  return *table;
}

DWORD Resolve(HKEY key, OpenKey* out) {
  if (key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE) {
    *out = {key == HKEY_CURRENT_USER ? &CurrentUserHive() : &LocalMachineHive(), kRootKey, KEY_ALL_ACCESS};
    return ERROR_SUCCESS;
  }
  HandleTable& table = Handles();
  std::lock_guard lock(table.lock);
  const auto found = table.keys.find(reinterpret_cast<uintptr_t>(key));
  if (found == table.keys.end()) return ERROR_INVALID_HANDLE;
  *out = found->second;
  return ERROR_SUCCESS;
}

HKEY AddHandle(const OpenKey& key) {
  HandleTable& table = Handles();
  std::lock_guard lock(table.lock);
  const uintptr_t handle = table.next;
  table.next += 4;
  table.keys.emplace(handle, key);
  return reinterpret_cast<HKEY>(handle);
}

DWORD Require(const OpenKey& key, REGSAM rights) {
  return (key.access & rights) == rights ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

// Splits a key path at '\'. A leading separator or an empty component is a
// bad path; one trailing separator is allowed.
DWORD SplitPath(const std::string& path, std::vector<std::string>* names) {
  size_t start = 0;
  while (start < path.size()) {
    size_t end = path.find('\\', start);
    if (end == std::string::npos) end = path.size();
    if (end == start) return ERROR_BAD_PATHNAME;
    std::string name = path.substr(start, end - start);
    if (Utf8ToUtf16(name).size() > kRegMaxKeyNameChars) return ERROR_INVALID_PARAMETER;
    names->push_back(std::move(name));
    start = end + 1;
  }
  return ERROR_SUCCESS;
}

// Narrow and wide names meet here as UTF-8.
std::string Name(LPCSTR name) { return name != nullptr ? std::string(name) : std::string(); }
std::string Name(LPCWSTR name) { return NarrowText(name); }

// REG_SZ data is stored as UTF-16; narrow callers see UTF-8.
std::string NarrowToStored(DWORD type, std::string_view data) {
  if (type != REG_SZ) return std::string(data);
  const std::u16string wide = Utf8ToUtf16(data);
  return std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * sizeof(char16_t));
}

std::string StoredToNarrow(DWORD type, const std::string& data) {
  if (type != REG_SZ) return data;
  std::u16string wide(data.size() / sizeof(char16_t), u'\0');
  std::memcpy(wide.data(), data.data(), wide.size() * sizeof(char16_t));
  return Utf16ToUtf8(wide);
}

// Copies value data to a caller's buffer with the sizing rules of the query
// and enumeration calls.
DWORD DataOut(const std::string& data, LPBYTE buffer, LPDWORD size) {
  if (buffer != nullptr && size == nullptr) return ERROR_INVALID_PARAMETER;
  if (size == nullptr) return ERROR_SUCCESS;
  const DWORD available = *size;
  *size = static_cast<DWORD>(data.size());
  if (buffer == nullptr) return ERROR_SUCCESS;
  if (data.size() > available) return ERROR_MORE_DATA;
  std::memcpy(buffer, data.data(), data.size());
  return ERROR_SUCCESS;
}

// Copies a name to a buffer of *chars characters (with room for the
// terminator); *chars becomes its length.
template <typename Char>
DWORD NameOut(const std::string& name, Char* buffer, LPDWORD chars) {
  if (buffer == nullptr || chars == nullptr) return ERROR_INVALID_PARAMETER;
  DWORD copied;
  if constexpr (sizeof(Char) == 1) {
    copied = CopyOut(name, buffer, *chars);
  } else {
    copied = CopyOut(Utf8ToUtf16(name), buffer, *chars);
  }
  if (copied >= *chars) return ERROR_MORE_DATA;
  *chars = copied;
  return ERROR_SUCCESS;
}

template <typename Char>
LSTATUS OpenOrCreate(HKEY key, const Char* subKey, REGSAM access, PHKEY result, LPDWORD disposition, bool create) {
  if (result == nullptr) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  OpenKey parent;
  if (DWORD error = Resolve(key, &parent); error != ERROR_SUCCESS) return static_cast<LSTATUS>(error);
  std::vector<std::string> names;
  if (DWORD error = SplitPath(Name(subKey), &names); error != ERROR_SUCCESS) return static_cast<LSTATUS>(error);
  OpenKey opened{parent.hive, kRootKey, access};
  bool created = false;
  const DWORD error = parent.hive->OpenPath(parent.id, names, create,
                                            Require(parent, KEY_CREATE_SUB_KEY) == ERROR_SUCCESS, &opened.id, &created);
  if (error != ERROR_SUCCESS) return static_cast<LSTATUS>(error);
  *result = AddHandle(opened);
  if (disposition != nullptr) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  return ERROR_SUCCESS;
}

template <typename Char>
LSTATUS QueryValue(HKEY key, const Char* name, LPDWORD type, LPBYTE data, LPDWORD size) {
  OpenKey open;
  DWORD error = Resolve(key, &open);
  if (error == ERROR_SUCCESS) error = Require(open, KEY_QUERY_VALUE);
  if (error != ERROR_SUCCESS) return static_cast<LSTATUS>(error);
  Value value;
  error = open.hive->QueryValue(open.id, Name(name), &value);
  if (error != ERROR_SUCCESS) return static_cast<LSTATUS>(error);
  if (type != nullptr) *type = value.type;
  if constexpr (sizeof(Char) == 1) value.data = StoredToNarrow(value.type, value.data);
  return static_cast<LSTATUS>(DataOut(value.data, data, size));
}

template <typename Char>
LSTATUS SetValue(HKEY key, const Char* name, DWORD type, const BYTE* data, DWORD size) {
  if (data == nullptr && size != 0) return ERROR_INVALID_PARAMETER;
  const std::string valueName = Name(name);
  if (Utf8ToUtf16(valueName).size() > kRegMaxValueNameChars) return ERROR_INVALID_PARAMETER;
  OpenKey open;
  DWORD error = Resolve(key, &open);
  if (error == ERROR_SUCCESS) error = Require(open, KEY_SET_VALUE);
  if (error != ERROR_SUCCESS) return static_cast<LSTATUS>(error);
  std::string bytes(reinterpret_cast<const char*>(data), data == nullptr ? 0 : size);
  if constexpr (sizeof(Char) == 1) bytes = NarrowToStored(type, bytes);
  return static_cast<LSTATUS>(open.hive->SetValue(open.id, valueName, type, bytes));
}

template <typename Char>
LSTATUS DeleteValue(HKEY key, const Char* name) {
  OpenKey open;
  DWORD error = Resolve(key, &open);
  if (error == ERROR_SUCCESS) error = Require(open, KEY_SET_VALUE);
  if (error == ERROR_SUCCESS) error = open.hive->DeleteValue(open.id, Name(name));
  return static_cast<LSTATUS>(error);
}

template <typename Char>
LSTATUS DeleteKey(HKEY key, const Char* subKey) {
  if (subKey == nullptr || Name(subKey).empty()) return ERROR_INVALID_PARAMETER;
  OpenKey open;
  std::vector<std::string> names;
  DWORD error = Resolve(key, &open);
  if (error == ERROR_SUCCESS) error = Require(open, KEY_CREATE_SUB_KEY);
  if (error == ERROR_SUCCESS) error = SplitPath(Name(subKey), &names);
  if (error == ERROR_SUCCESS) error = open.hive->DeleteKey(open.id, names);
  return static_cast<LSTATUS>(error);
}

template <typename Char>
LSTATUS EnumKey(HKEY key, DWORD index, Char* name, LPDWORD chars, Char* className, LPDWORD classChars,
                FILETIME* lastWriteTime) {
  OpenKey open;
  DWORD error = Resolve(key, &open);
  if (error == ERROR_SUCCESS) error = Require(open, KEY_ENUMERATE_SUB_KEYS);
  std::string found;
  if (error == ERROR_SUCCESS) error = open.hive->EnumKey(open.id, index, &found);
  if (error == ERROR_SUCCESS) error = NameOut(found, name, chars);
  if (error != ERROR_SUCCESS) return static_cast<LSTATUS>(error);
  if (className != nullptr && classChars != nullptr && *classChars > 0) className[0] = 0;
  if (classChars != nullptr) *classChars = 0;
  if (lastWriteTime != nullptr) *lastWriteTime = FILETIME{0, 0};
  return ERROR_SUCCESS;
}

template <typename Char>
LSTATUS EnumValue(HKEY key, DWORD index, Char* name, LPDWORD chars, LPDWORD type, LPBYTE data, LPDWORD size) {
  OpenKey open;
  DWORD error = Resolve(key, &open);
  if (error == ERROR_SUCCESS) error = Require(open, KEY_QUERY_VALUE);
  std::string found;
  Value value;
  if (error == ERROR_SUCCESS) error = open.hive->EnumValue(open.id, index, &found, &value);
  if (error == ERROR_SUCCESS) error = NameOut(found, name, chars);
  if (error != ERROR_SUCCESS) return static_cast<LSTATUS>(error);
  if (type != nullptr) *type = value.type;
  if constexpr (sizeof(Char) == 1) value.data = StoredToNarrow(value.type, value.data);
  return static_cast<LSTATUS>(DataOut(value.data, data, size));
}

}  // namespace
}  // namespace tlx::win32::registry

using namespace tlx::win32::registry;

LSTATUS RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD, LPSTR, DWORD, REGSAM access, void*, PHKEY result,
                        LPDWORD disposition) {
  return OpenOrCreate(key, subKey, access, result, disposition, true);
}
LSTATUS RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD, LPWSTR, DWORD, REGSAM access, void*, PHKEY result,
                        LPDWORD disposition) {
  return OpenOrCreate(key, subKey, access, result, disposition, true);
}
LSTATUS RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM access, PHKEY result) {
  return OpenOrCreate(key, subKey, access, result, nullptr, false);
}
LSTATUS RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD, REGSAM access, PHKEY result) {
  return OpenOrCreate(key, subKey, access, result, nullptr, false);
}

LSTATUS RegCloseKey(HKEY key) {
  if (key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE) return ERROR_SUCCESS;
  HandleTable& table = Handles();
  std::lock_guard lock(table.lock);
  return table.keys.erase(reinterpret_cast<uintptr_t>(key)) == 1 ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LSTATUS RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD size) {
  return QueryValue(key, name, type, data, size);
}
LSTATUS RegQueryValueExW(HKEY key, LPCWSTR name, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD size) {
  return QueryValue(key, name, type, data, size);
}
LSTATUS RegSetValueExA(HKEY key, LPCSTR name, DWORD, DWORD type, const BYTE* data, DWORD size) {
  return SetValue(key, name, type, data, size);
}
LSTATUS RegSetValueExW(HKEY key, LPCWSTR name, DWORD, DWORD type, const BYTE* data, DWORD size) {
  return SetValue(key, name, type, data, size);
}
LSTATUS RegDeleteValueA(HKEY key, LPCSTR name) { return DeleteValue(key, name); }
LSTATUS RegDeleteValueW(HKEY key, LPCWSTR name) { return DeleteValue(key, name); }
LSTATUS RegDeleteKeyA(HKEY key, LPCSTR subKey) { return DeleteKey(key, subKey); }
LSTATUS RegDeleteKeyW(HKEY key, LPCWSTR subKey) { return DeleteKey(key, subKey); }

LSTATUS RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD chars, LPDWORD, LPSTR className, LPDWORD classChars,
                      FILETIME* lastWriteTime) {
  return EnumKey(key, index, name, chars, className, classChars, lastWriteTime);
}
LSTATUS RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD chars, LPDWORD, LPWSTR className, LPDWORD classChars,
                      FILETIME* lastWriteTime) {
  return EnumKey(key, index, name, chars, className, classChars, lastWriteTime);
}
LSTATUS RegEnumValueA(HKEY key, DWORD index, LPSTR name, LPDWORD chars, LPDWORD, LPDWORD type, LPBYTE data,
                      LPDWORD size) {
  return EnumValue(key, index, name, chars, type, data, size);
}
LSTATUS RegEnumValueW(HKEY key, DWORD index, LPWSTR name, LPDWORD chars, LPDWORD, LPDWORD type, LPBYTE data,
                      LPDWORD size) {
  return EnumValue(key, index, name, chars, type, data, size);
}

namespace tlx::win32 {

DWORD RegReadDword(HKEY key, const WCHAR* name, DWORD defaultValue) {
  DWORD type = REG_NONE;
  DWORD value = 0;
  DWORD size = sizeof(value);
  const LSTATUS status = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<LPBYTE>(&value), &size);
  return status == ERROR_SUCCESS && type == REG_DWORD && size == sizeof(value) ? value : defaultValue;
}

std::u16string RegReadString(HKEY key, const WCHAR* name, const WCHAR* defaultValue) {
  const std::u16string fallback = defaultValue != nullptr ? std::u16string(defaultValue) : std::u16string();
  DWORD size = 0;
  if (RegQueryValueExW(key, name, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS) return fallback;
  // The value may change between the two calls; a grown one no longer fits
  // and reads as the default, as on Windows.
  std::u16string text(size / sizeof(char16_t) + 1, u'\0');
  DWORD read = static_cast<DWORD>(text.size() * sizeof(char16_t));
  if (RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<LPBYTE>(text.data()), &read) != ERROR_SUCCESS) {
    return fallback;
  }
  text.resize(read / sizeof(char16_t));
  return text.substr(0, text.find(u'\0'));
}

}  // namespace tlx::win32

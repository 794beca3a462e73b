// Internal: one hive of the registry, a tree of keys with typed values kept in
// an SQLite database. Key names and value names are UTF-8 here; the callers
// convert. Every call is one transaction and returns a Win32 error code.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "win32/types.h"

struct sqlite3;

namespace tlx::win32::registry {

using KeyId = int64_t;
// The hive's root key; it always exists and has no row of its own.
inline constexpr KeyId kRootKey = 0;

struct Value {
  DWORD type = 0;
  std::string data;
};

class Hive {
 public:
  // fileName: the database's name inside the registry folder.
  explicit Hive(std::string fileName) : fileName_(std::move(fileName)) {}
  ~Hive();
  Hive(const Hive&) = delete;
  Hive& operator=(const Hive&) = delete;

  // Walks `names` down from `from`. With mayCreate, missing keys are made
  // (*created tells whether the last one was); without, a missing key is
  // ERROR_FILE_NOT_FOUND.
  DWORD OpenPath(KeyId from, const std::vector<std::string>& names, bool create, bool mayCreate, KeyId* result,
                 bool* created);
  DWORD QueryValue(KeyId key, std::string_view name, Value* value);
  DWORD SetValue(KeyId key, std::string_view name, DWORD type, std::string_view data);
  DWORD DeleteValue(KeyId key, std::string_view name);
  DWORD DeleteKey(KeyId from, const std::vector<std::string>& names);
  DWORD EnumKey(KeyId key, DWORD index, std::string* name);
  DWORD EnumValue(KeyId key, DWORD index, std::string* name, Value* value);

 private:
  class Transaction;
  DWORD OpenLocked();

  const std::string fileName_;
  std::mutex lock_;
  sqlite3* db_ = nullptr;  // under lock_; opened on first use
};

Hive& CurrentUserHive();
Hive& LocalMachineHive();

}  // namespace tlx::win32::registry

#include "hive.h"

#include <sqlite3.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <thread>

#include "win32/errors.h"
#include "win32/paths.h"
#include "win32/text.h"

namespace tlx::win32::registry {
namespace {

// How long a call waits for another thread or process that holds the hive.
constexpr int kBusyTimeoutMs = 10000;
// Marks a database as a hive of this registry ("TLXR").
constexpr int kApplicationId = 0x544C5852;

constexpr const char* kSchema =
    "CREATE TABLE keys(id INTEGER PRIMARY KEY AUTOINCREMENT, parent INTEGER NOT NULL,"
    " name TEXT NOT NULL, folded TEXT NOT NULL, UNIQUE(parent, folded));"
    "CREATE TABLE vals(key INTEGER NOT NULL, name TEXT NOT NULL, folded TEXT NOT NULL,"
    " type INTEGER NOT NULL, data BLOB NOT NULL, UNIQUE(key, folded));"
    "PRAGMA application_id = 1414289490;";
static_assert(kApplicationId == 1414289490);

DWORD ErrorFromSqlite(int rc, DWORD fallback) {
  switch (rc & 0xFF) {
    case SQLITE_OK:
    case SQLITE_ROW:
    case SQLITE_DONE:
      return ERROR_SUCCESS;
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
    case SQLITE_SCHEMA:
      return ERROR_BADDB;
    case SQLITE_CANTOPEN:
      return ERROR_CANTOPEN;
    case SQLITE_NOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    case SQLITE_PERM:
    case SQLITE_READONLY:
    case SQLITE_AUTH:
      return ERROR_ACCESS_DENIED;
    default:
      return fallback;
  }
}

class Statement {
 public:
  Statement(sqlite3* db, const char* sql) { rc_ = sqlite3_prepare_v2(db, sql, -1, &statement_, nullptr); }
  ~Statement() { sqlite3_finalize(statement_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  Statement& Bind(int index, int64_t value) {
    if (rc_ == SQLITE_OK) rc_ = sqlite3_bind_int64(statement_, index, value);
    return *this;
  }
  Statement& Bind(int index, std::string_view text) {
    if (rc_ == SQLITE_OK)
      rc_ = sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    return *this;
  }
  Statement& BindBlob(int index, std::string_view bytes) {
    if (rc_ != SQLITE_OK) return *this;
    // A null pointer would bind NULL, so an empty blob is bound as such.
    rc_ = bytes.empty()
              ? sqlite3_bind_zeroblob(statement_, index, 0)
              : sqlite3_bind_blob(statement_, index, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
    return *this;
  }
  // SQLITE_ROW, SQLITE_DONE or an error.
  int Step() { return rc_ == SQLITE_OK ? sqlite3_step(statement_) : rc_; }

  int64_t Int(int column) { return sqlite3_column_int64(statement_, column); }
  std::string Bytes(int column) {
    const auto* data = static_cast<const char*>(sqlite3_column_blob(statement_, column));
    const int size = sqlite3_column_bytes(statement_, column);
    return data == nullptr ? std::string() : std::string(data, static_cast<size_t>(size));
  }

 private:
  sqlite3_stmt* statement_ = nullptr;
  int rc_;
};

// Switching the journal needs the file to itself and SQLite answers "busy"
// at once, without its busy handler, while another process has it open (two
// processes opening a new hive together), so the switch is retried for as
// long as any other wait for the hive.
int SwitchToWal(sqlite3* db) {
  constexpr int kRetryMs = 5;
  int rc = SQLITE_BUSY;
  for (int waited = 0; (rc & 0xFF) == SQLITE_BUSY && waited <= kBusyTimeoutMs; waited += kRetryMs) {
    if (waited > 0) std::this_thread::sleep_for(std::chrono::milliseconds(kRetryMs));
    rc = sqlite3_exec(db, "PRAGMA journal_mode = WAL", nullptr, nullptr, nullptr);
  }
  return rc;
}

std::string RegistryFolder() {
  const char* folder = std::getenv("TLX_REGISTRY_DIR");
  if (folder != nullptr && *folder != '\0') return folder;
  return XdgConfigHome() + "/tlx-player/registry";
}

DWORD ExpectDone(int rc, DWORD fallback) { return rc == SQLITE_DONE ? ERROR_SUCCESS : ErrorFromSqlite(rc, fallback); }

// Steps a query for the index-th row below a key; ERROR_NO_MORE_ITEMS past
// the last.
DWORD StepToRow(Statement& query, int64_t key, DWORD index) {
  const int rc = query.Bind(1, key).Bind(2, static_cast<int64_t>(index)).Step();
  if (rc == SQLITE_ROW) return ERROR_SUCCESS;
  return rc == SQLITE_DONE ? ERROR_NO_MORE_ITEMS : ErrorFromSqlite(rc, ERROR_CANTREAD);
}

}  // namespace

// Holds the hive for one call: its lock, an open database and a transaction
// (taking the write lock at once for a change, so two writers never deadlock
// on an upgrade). Rolled back unless committed.
class Hive::Transaction {
 public:
  // With a key, error() also tells whether the key still exists.
  Transaction(Hive& hive, bool write, std::optional<KeyId> key = std::nullopt) : lock_(hive.lock_), db_(nullptr) {
    write_ = write;
    error_ = hive.OpenLocked();
    if (error_ != ERROR_SUCCESS) return;
    db_ = hive.db_;
    const int rc = sqlite3_exec(db_, write ? "BEGIN IMMEDIATE" : "BEGIN", nullptr, nullptr, nullptr);
    error_ = ErrorFromSqlite(rc, fallback());
    active_ = error_ == ERROR_SUCCESS;
    if (active_ && key) error_ = CheckKey(*key);
  }
  ~Transaction() {
    if (active_) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  }

  DWORD error() const { return error_; }
  sqlite3* db() const { return db_; }
  DWORD fallback() const { return write_ ? ERROR_CANTWRITE : ERROR_CANTREAD; }

  DWORD Commit(DWORD result) {
    if (result != ERROR_SUCCESS) return result;
    const int rc = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) return ErrorFromSqlite(rc, fallback());
    active_ = false;
    return ERROR_SUCCESS;
  }

  // ERROR_KEY_DELETED when the key went away since it was opened.
  DWORD CheckKey(KeyId key) {
    if (key == kRootKey) return ERROR_SUCCESS;
    Statement query(db_, "SELECT 1 FROM keys WHERE id = ?");
    const int rc = query.Bind(1, key).Step();
    if (rc == SQLITE_ROW) return ERROR_SUCCESS;
    return rc == SQLITE_DONE ? ERROR_KEY_DELETED : ErrorFromSqlite(rc, fallback());
  }

  // The child key with this name, or ERROR_FILE_NOT_FOUND.
  DWORD FindChild(KeyId parent, const std::string& name, KeyId* child) {
    Statement query(db_, "SELECT id FROM keys WHERE parent = ? AND folded = ?");
    const int rc = query.Bind(1, parent).Bind(2, FoldCase(name)).Step();
    if (rc == SQLITE_ROW) {
      *child = query.Int(0);
      return ERROR_SUCCESS;
    }
    return rc == SQLITE_DONE ? ERROR_FILE_NOT_FOUND : ErrorFromSqlite(rc, fallback());
  }

  DWORD Walk(KeyId from, const std::vector<std::string>& names, KeyId* result) {
    DWORD error = CheckKey(from);
    for (size_t i = 0; error == ERROR_SUCCESS && i < names.size(); ++i) error = FindChild(from, names[i], &from);
    *result = from;
    return error;
  }

 private:
  std::lock_guard<std::mutex> lock_;
  sqlite3* db_;
  DWORD error_;
  bool active_ = false;
  bool write_ = false;
};

Hive::~Hive() { sqlite3_close_v2(db_); }

DWORD Hive::OpenLocked() {
  if (db_ != nullptr) return ERROR_SUCCESS;
  const std::string folder = RegistryFolder();
  std::error_code ignored;
  std::filesystem::create_directories(folder, ignored);
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2((folder + "/" + fileName_).c_str(), &db,
                           SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
  if (rc == SQLITE_OK) {
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    sqlite3_extended_result_codes(db, 1);
    // WAL lets readers and one writer of any process work at once; a full
    // sync makes every committed change survive a crash of the machine too.
    rc = SwitchToWal(db);
    if (rc == SQLITE_OK) rc = sqlite3_exec(db, "PRAGMA synchronous = FULL", nullptr, nullptr, nullptr);
  }
  if (rc == SQLITE_OK) rc = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
  DWORD error = ErrorFromSqlite(rc, ERROR_CANTOPEN);
  if (error == ERROR_SUCCESS) {
    Statement application(db, "PRAGMA application_id");
    Statement tables(db, "SELECT count(*) FROM sqlite_master");
    if (application.Step() != SQLITE_ROW || tables.Step() != SQLITE_ROW) {
      error = ERROR_BADDB;
    } else if (application.Int(0) != kApplicationId) {
      // A new file gets the layout; any other database is not a hive.
      error = tables.Int(0) == 0
                  ? ErrorFromSqlite(sqlite3_exec(db, kSchema, nullptr, nullptr, nullptr), ERROR_CANTWRITE)
                  : ERROR_BADDB;
    }
  }
  if (error == ERROR_SUCCESS)
    error = ErrorFromSqlite(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), ERROR_CANTWRITE);
  if (error != ERROR_SUCCESS) {
    sqlite3_close_v2(db);  // rolls back what is open; the next call tries again
    return error;
  }
  db_ = db;
  return ERROR_SUCCESS;
}

DWORD Hive::OpenPath(KeyId from, const std::vector<std::string>& names, bool create, bool mayCreate, KeyId* result,
                     bool* created) {
  Transaction t(*this, create, from);
  DWORD error = t.error();
  bool made = false;
  for (size_t i = 0; error == ERROR_SUCCESS && i < names.size(); ++i) {
    KeyId child = from;
    error = t.FindChild(from, names[i], &child);
    if (error == ERROR_FILE_NOT_FOUND && create) {
      if (!mayCreate) return ERROR_ACCESS_DENIED;
      Statement insert(t.db(), "INSERT INTO keys(parent, name, folded) VALUES(?, ?, ?)");
      error = ExpectDone(insert.Bind(1, from).Bind(2, names[i]).Bind(3, FoldCase(names[i])).Step(), ERROR_CANTWRITE);
      child = sqlite3_last_insert_rowid(t.db());
      made = true;
    } else {
      made = false;
    }
    from = child;
  }
  if (error != ERROR_SUCCESS) return error;
  *result = from;
  if (created != nullptr) *created = made;
  return create ? t.Commit(ERROR_SUCCESS) : ERROR_SUCCESS;
}

DWORD Hive::QueryValue(KeyId key, std::string_view name, Value* value) {
  Transaction t(*this, false, key);
  if (t.error() != ERROR_SUCCESS) return t.error();
  Statement query(t.db(), "SELECT type, data FROM vals WHERE key = ? AND folded = ?");
  const int rc = query.Bind(1, key).Bind(2, FoldCase(name)).Step();
  if (rc != SQLITE_ROW) return rc == SQLITE_DONE ? ERROR_FILE_NOT_FOUND : ErrorFromSqlite(rc, ERROR_CANTREAD);
  value->type = static_cast<DWORD>(query.Int(0));
  value->data = query.Bytes(1);
  return ERROR_SUCCESS;
}

DWORD Hive::SetValue(KeyId key, std::string_view name, DWORD type, std::string_view data) {
  Transaction t(*this, true, key);
  if (t.error() != ERROR_SUCCESS) return t.error();
  // An existing value keeps its name's case and its place in the enumeration.
  Statement update(t.db(), "UPDATE vals SET type = ?, data = ? WHERE key = ? AND folded = ?");
  DWORD error = ExpectDone(
      update.Bind(1, static_cast<int64_t>(type)).BindBlob(2, data).Bind(3, key).Bind(4, FoldCase(name)).Step(),
      ERROR_CANTWRITE);
  if (error == ERROR_SUCCESS && sqlite3_changes(t.db()) == 0) {
    Statement insert(t.db(), "INSERT INTO vals(key, name, folded, type, data) VALUES(?, ?, ?, ?, ?)");
    error = ExpectDone(insert.Bind(1, key)
                           .Bind(2, name)
                           .Bind(3, FoldCase(name))
                           .Bind(4, static_cast<int64_t>(type))
                           .BindBlob(5, data)
                           .Step(),
                       ERROR_CANTWRITE);
  }
  return t.Commit(error);
}

DWORD Hive::DeleteValue(KeyId key, std::string_view name) {
  Transaction t(*this, true, key);
  if (t.error() != ERROR_SUCCESS) return t.error();
  Statement remove(t.db(), "DELETE FROM vals WHERE key = ? AND folded = ?");
  DWORD error = ExpectDone(remove.Bind(1, key).Bind(2, FoldCase(name)).Step(), ERROR_CANTWRITE);
  if (error == ERROR_SUCCESS && sqlite3_changes(t.db()) == 0) error = ERROR_FILE_NOT_FOUND;
  return t.Commit(error);
}

DWORD Hive::DeleteKey(KeyId from, const std::vector<std::string>& names) {
  Transaction t(*this, true);
  if (t.error() != ERROR_SUCCESS) return t.error();
  KeyId key;
  DWORD error = t.Walk(from, names, &key);
  if (error != ERROR_SUCCESS) return error;
  if (key == kRootKey || key == from) return ERROR_ACCESS_DENIED;
  Statement children(t.db(), "SELECT 1 FROM keys WHERE parent = ? LIMIT 1");
  const int rc = children.Bind(1, key).Step();
  if (rc == SQLITE_ROW) return ERROR_ACCESS_DENIED;
  if (rc != SQLITE_DONE) return ErrorFromSqlite(rc, ERROR_CANTWRITE);
  Statement values(t.db(), "DELETE FROM vals WHERE key = ?");
  error = ExpectDone(values.Bind(1, key).Step(), ERROR_CANTWRITE);
  if (error == ERROR_SUCCESS) {
    Statement self(t.db(), "DELETE FROM keys WHERE id = ?");
    error = ExpectDone(self.Bind(1, key).Step(), ERROR_CANTWRITE);
  }
  return t.Commit(error);
}

DWORD Hive::EnumKey(KeyId key, DWORD index, std::string* name) {
  Transaction t(*this, false, key);
  if (t.error() != ERROR_SUCCESS) return t.error();
  Statement query(t.db(), "SELECT name FROM keys WHERE parent = ? ORDER BY folded, name LIMIT 1 OFFSET ?");
  if (const DWORD error = StepToRow(query, key, index); error != ERROR_SUCCESS) return error;
  *name = query.Bytes(0);
  return ERROR_SUCCESS;
}

DWORD Hive::EnumValue(KeyId key, DWORD index, std::string* name, Value* value) {
  Transaction t(*this, false, key);
  if (t.error() != ERROR_SUCCESS) return t.error();
  Statement query(t.db(), "SELECT name, type, data FROM vals WHERE key = ? ORDER BY rowid LIMIT 1 OFFSET ?");
  if (const DWORD error = StepToRow(query, key, index); error != ERROR_SUCCESS) return error;
  *name = query.Bytes(0);
  value->type = static_cast<DWORD>(query.Int(1));
  value->data = query.Bytes(2);
  return ERROR_SUCCESS;
}

Hive& CurrentUserHive() {
  static auto* hive = new Hive("HKEY_CURRENT_USER.db");
  return *hive;
}

Hive& LocalMachineHive() {
  static auto* hive = new Hive("HKEY_LOCAL_MACHINE.db");
  return *hive;
}

}  // namespace tlx::win32::registry

#include "win32/registry.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "support/child_process.h"
#include "win32/text.h"

namespace {

using tlx::test::ChildProcess;
using tlx::test::TempFolder;

// Every test process keeps its hives in a folder of its own.
const TempFolder& g_registryFolder = tlx::test::ProcessRegistryFolder();

constexpr LONG kOk = ERROR_SUCCESS;
constexpr LONG kNotFound = ERROR_FILE_NOT_FOUND;
constexpr LONG kMoreData = ERROR_MORE_DATA;
constexpr LONG kNoMoreItems = ERROR_NO_MORE_ITEMS;
constexpr LONG kDenied = ERROR_ACCESS_DENIED;

// A key of its own for each test, closed at the end.
class Key {
 public:
  explicit Key(const std::string& path, HKEY root = HKEY_CURRENT_USER) {
    DWORD disposition = 0;
    status = RegCreateKeyExA(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &handle,
                             &disposition);
    created = disposition == REG_CREATED_NEW_KEY;
  }
  ~Key() {
    if (handle != nullptr) RegCloseKey(handle);
  }
  HKEY handle = nullptr;
  LONG status;
  bool created = false;
};

std::string TestKeyPath() {
  return std::string("Software\\Tests\\") + testing::UnitTest::GetInstance()->current_test_info()->name();
}

LONG SetString(HKEY key, const char16_t* name, const std::u16string& text, bool terminator = true) {
  return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>((text.size() + (terminator ? 1 : 0)) * sizeof(char16_t)));
}

LONG SetDword(HKEY key, const char* name, DWORD value) {
  return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
}

TEST(Registry, KeysAreFoundWithoutRegardToCaseAndKeepTheirCase) {
  Key key(TestKeyPath() + "\\Mixed\\Child");
  ASSERT_EQ(kOk, key.status);
  EXPECT_TRUE(key.created);
  Key again(TestKeyPath() + "\\mIXED\\CHILD");
  ASSERT_EQ(kOk, again.status);
  EXPECT_FALSE(again.created);

  HKEY opened = nullptr;
  ASSERT_EQ(kOk, RegOpenKeyExW(HKEY_CURRENT_USER, u"SOFTWARE\\tests", 0, KEY_READ, &opened));
  HKEY child = nullptr;
  const std::u16string below = tlx::win32::Utf8ToUtf16(
      std::string(testing::UnitTest::GetInstance()->current_test_info()->name()) + "\\MIXED\\child\\");
  EXPECT_EQ(kOk, RegOpenKeyExW(opened, below.c_str(), 0, KEY_READ, &child));
  EXPECT_EQ(kOk, RegCloseKey(child));

  Key parent(TestKeyPath());
  char name[64];
  DWORD chars = sizeof(name);
  ASSERT_EQ(kOk, RegEnumKeyExA(parent.handle, 0, name, &chars, nullptr, nullptr, nullptr, nullptr));
  EXPECT_STREQ("Mixed", name);
  EXPECT_EQ(5u, chars);

  struct Case {
    const char* path;
    LONG status;
  };
  for (const Case& c : {Case{"Missing", kNotFound}, Case{"Mixed\\Missing", kNotFound},
                        Case{"\\Mixed", LONG(ERROR_BAD_PATHNAME)}, Case{"Mixed\\\\Child", LONG(ERROR_BAD_PATHNAME)}}) {
    HKEY missing = nullptr;
    EXPECT_EQ(c.status, RegOpenKeyExA(parent.handle, c.path, 0, KEY_READ, &missing)) << c.path;
    EXPECT_EQ(nullptr, missing);
  }
  EXPECT_EQ(kOk, RegCloseKey(opened));
  EXPECT_EQ(LONG(ERROR_INVALID_HANDLE), RegCloseKey(opened));
}

TEST(Registry, ValuesReportTypesAndSizesTheWindowsWay) {
  Key key(TestKeyPath());
  ASSERT_EQ(kOk, key.status);
  ASSERT_EQ(kOk, SetString(key.handle, u"Text", u"abc"));
  ASSERT_EQ(kOk, SetDword(key.handle, "Number", 0x12345678));
  const BYTE bytes[] = {0, 1, 2, 0xFF, 0};
  ASSERT_EQ(kOk, RegSetValueExA(key.handle, "Bytes", 0, REG_BINARY, bytes, sizeof(bytes)));
  ASSERT_EQ(kOk, RegSetValueExA(key.handle, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>("dflt"), 5));

  struct Case {
    const char* name;
    bool wide;
    DWORD type;
    DWORD size;
  };
  for (const Case& c :
       {Case{"text", true, REG_SZ, 8}, Case{"TEXT", false, REG_SZ, 4}, Case{"number", false, REG_DWORD, 4},
        Case{"bytes", true, REG_BINARY, 5}, Case{"", false, REG_SZ, 5}, Case{"", true, REG_SZ, 10}}) {
    SCOPED_TRACE(std::string(c.name) + (c.wide ? " wide" : " narrow"));
    const std::u16string wideName = tlx::win32::Utf8ToUtf16(c.name);
    auto query = [&](LPBYTE data, DWORD* size, DWORD* type) {
      return c.wide ? RegQueryValueExW(key.handle, wideName.c_str(), nullptr, type, data, size)
                    : RegQueryValueExA(key.handle, c.name, nullptr, type, data, size);
    };
    DWORD type = 0;
    DWORD size = 0;
    ASSERT_EQ(kOk, query(nullptr, &size, &type));
    EXPECT_EQ(c.type, type);
    EXPECT_EQ(c.size, size);
    BYTE small[2];
    DWORD smallSize = sizeof(small);
    EXPECT_EQ(kMoreData, query(small, &smallSize, &type));
    EXPECT_EQ(c.size, smallSize);
    std::vector<BYTE> buffer(c.size + 4, 0xEE);
    DWORD bufferSize = static_cast<DWORD>(buffer.size());
    ASSERT_EQ(kOk, query(buffer.data(), &bufferSize, &type));
    EXPECT_EQ(c.size, bufferSize);
    EXPECT_EQ(0xEE, buffer[c.size]) << "wrote past the value";
    EXPECT_EQ(LONG(ERROR_INVALID_PARAMETER), query(buffer.data(), nullptr, &type));
  }
  DWORD number = 0;
  DWORD size = sizeof(number);
  ASSERT_EQ(kOk, RegQueryValueExA(key.handle, "NUMBER", nullptr, nullptr, reinterpret_cast<LPBYTE>(&number), &size));
  EXPECT_EQ(0x12345678u, number);
  DWORD type = 0;
  EXPECT_EQ(kNotFound, RegQueryValueExA(key.handle, "Absent", nullptr, &type, nullptr, &size));
}

TEST(Registry, NarrowAndWideTextMeetAndMalformedTextIsReplaced) {
  Key key(TestKeyPath());
  // UTF-8 with a stray continuation byte and a cut sequence at the end: each
  // byte that is not part of a whole character becomes one U+FFFD.
  const char narrow[] =
      "Gr\xC3\xBC\xC3\x9F"
      "e\x80x\xE2\x82";
  ASSERT_EQ(kOk,
            RegSetValueExA(key.handle, "Narrow", 0, REG_SZ, reinterpret_cast<const BYTE*>(narrow), sizeof(narrow)));
  EXPECT_EQ(u"Gr\u00FC\u00DFe\uFFFDx\uFFFD\uFFFD", tlx::win32::RegReadString(key.handle, u"Narrow", u"-"));

  // A lone surrogate and an odd trailing byte written through the wide call.
  const char16_t wide[] = {u'a', 0xD800, u'b', 0};
  std::string bytes(reinterpret_cast<const char*>(wide), sizeof(wide));
  bytes += 'Z';
  ASSERT_EQ(kOk, RegSetValueExW(key.handle, u"Wide", 0, REG_SZ, reinterpret_cast<const BYTE*>(bytes.data()),
                                static_cast<DWORD>(bytes.size())));
  char text[32];
  DWORD size = sizeof(text);
  ASSERT_EQ(kOk, RegQueryValueExA(key.handle, "Wide", nullptr, nullptr, reinterpret_cast<LPBYTE>(text), &size));
  EXPECT_EQ(std::string("a\xEF\xBF\xBD"
                        "b",
                        5) +
                '\0',
            std::string(text, size));
  EXPECT_EQ(
      u"a\xD800"
      u"b",
      tlx::win32::RegReadString(key.handle, u"Wide", u"-"));
}

TEST(Registry, TypedReadsFallBackToTheDefault) {
  Key key(TestKeyPath());
  const BYTE four[] = {1, 0, 0, 0};
  const BYTE two[] = {1, 0};
  ASSERT_EQ(kOk, RegSetValueExA(key.handle, "Binary", 0, REG_BINARY, four, sizeof(four)));
  ASSERT_EQ(kOk, RegSetValueExA(key.handle, "ShortDword", 0, REG_DWORD, two, sizeof(two)));
  ASSERT_EQ(kOk, SetString(key.handle, u"Text", u"7"));
  ASSERT_EQ(kOk, SetDword(key.handle, "Dword", 7));
  ASSERT_EQ(kOk, SetString(key.handle, u"Unterminated", u"whole", false));
  const char odd[] = {'o', 0, 'k', 0, 'x'};
  ASSERT_EQ(kOk, RegSetValueExW(key.handle, u"Odd", 0, REG_SZ, reinterpret_cast<const BYTE*>(odd), sizeof(odd)));
  ASSERT_EQ(kOk, SetString(key.handle, u"Empty", u""));

  struct DwordCase {
    const char16_t* name;
    DWORD expected;
  };
  for (const DwordCase& c : {DwordCase{u"Dword", 7}, DwordCase{u"Binary", 99}, DwordCase{u"ShortDword", 99},
                             DwordCase{u"Text", 99}, DwordCase{u"Absent", 99}}) {
    EXPECT_EQ(c.expected, tlx::win32::RegReadDword(key.handle, c.name, 99)) << tlx::win32::Utf16ToUtf8(c.name);
  }
  struct StringCase {
    const char16_t* name;
    std::u16string expected;
  };
  for (const StringCase& c : {StringCase{u"Text", u"7"}, StringCase{u"Unterminated", u"whole"},
                              StringCase{u"Odd", u"ok"}, StringCase{u"Empty", u""}, StringCase{u"Absent", u"dflt"}}) {
    EXPECT_EQ(c.expected, tlx::win32::RegReadString(key.handle, c.name, u"dflt")) << tlx::win32::Utf16ToUtf8(c.name);
  }
}

TEST(Registry, EnumerationOrderIsStable) {
  Key key(TestKeyPath());
  for (const char* name : {"beta", "Alpha", "gamma"}) Key child(TestKeyPath() + "\\" + name);
  for (const char* name : {"second", "First", "third"}) ASSERT_EQ(kOk, SetDword(key.handle, name, 1));
  ASSERT_EQ(kOk, SetDword(key.handle, "SECOND", 2));  // rewriting keeps the place and the case

  std::vector<std::string> keys;
  for (DWORD i = 0;; ++i) {
    char name[16];
    DWORD chars = sizeof(name);
    const LONG status = RegEnumKeyExA(key.handle, i, name, &chars, nullptr, nullptr, nullptr, nullptr);
    if (status == kNoMoreItems) break;
    ASSERT_EQ(kOk, status);
    keys.push_back(name);
  }
  EXPECT_EQ((std::vector<std::string>{"Alpha", "beta", "gamma"}), keys);

  std::vector<std::u16string> values;
  for (DWORD i = 0;; ++i) {
    char16_t name[16];
    DWORD chars = 16;
    DWORD type = 0;
    DWORD data = 0;
    DWORD size = sizeof(data);
    const LONG status =
        RegEnumValueW(key.handle, i, name, &chars, nullptr, &type, reinterpret_cast<LPBYTE>(&data), &size);
    if (status == kNoMoreItems) break;
    ASSERT_EQ(kOk, status);
    EXPECT_EQ(REG_DWORD, type);
    values.push_back(name + std::u16string(u"=") + char16_t(u'0' + data));
  }
  EXPECT_EQ((std::vector<std::u16string>{u"second=2", u"First=1", u"third=1"}), values);

  char tiny[5];  // "Alpha" needs six characters with its terminator
  DWORD chars = sizeof(tiny);
  EXPECT_EQ(kMoreData, RegEnumKeyExA(key.handle, 0, tiny, &chars, nullptr, nullptr, nullptr, nullptr));
  DWORD type = 0;
  BYTE small[2];
  DWORD size = sizeof(small);
  char name[16];
  chars = sizeof(name);
  EXPECT_EQ(kMoreData, RegEnumValueA(key.handle, 0, name, &chars, nullptr, &type, small, &size));
  EXPECT_EQ(4u, size);
}

TEST(Registry, DeletingValuesAndKeys) {
  Key key(TestKeyPath());
  Key child(TestKeyPath() + "\\Child");
  Key grandChild(TestKeyPath() + "\\Child\\Grand");
  ASSERT_EQ(kOk, SetDword(key.handle, "Value", 1));
  ASSERT_EQ(kOk, SetDword(grandChild.handle, "Value", 1));

  EXPECT_EQ(kOk, RegDeleteValueA(key.handle, "VALUE"));
  EXPECT_EQ(kNotFound, RegDeleteValueA(key.handle, "Value"));
  EXPECT_EQ(kDenied, RegDeleteKeyA(key.handle, "Child")) << "a key with subkeys stays";
  EXPECT_EQ(kOk, RegDeleteKeyW(key.handle, u"child\\grand"));
  EXPECT_EQ(kNotFound, RegDeleteKeyA(key.handle, "Child\\Grand"));

  // The handle of a deleted key fails cleanly, even after a key of the same
  // name is made again.
  DWORD value = 0;
  DWORD size = sizeof(value);
  EXPECT_EQ(LONG(ERROR_KEY_DELETED), SetDword(grandChild.handle, "Value", 2));
  Key again(TestKeyPath() + "\\Child\\Grand");
  EXPECT_TRUE(again.created);
  EXPECT_EQ(LONG(ERROR_KEY_DELETED),
            RegQueryValueExA(grandChild.handle, "Value", nullptr, nullptr, reinterpret_cast<LPBYTE>(&value), &size));
  EXPECT_EQ(kNotFound,
            RegQueryValueExA(again.handle, "Value", nullptr, nullptr, reinterpret_cast<LPBYTE>(&value), &size));
}

TEST(Registry, AccessIsCheckedPerHandle) {
  Key key(TestKeyPath());
  HKEY readOnly = nullptr;
  ASSERT_EQ(kOk, RegOpenKeyExA(HKEY_CURRENT_USER, TestKeyPath().c_str(), 0, KEY_READ, &readOnly));
  EXPECT_EQ(kDenied, SetDword(readOnly, "Value", 1));
  EXPECT_EQ(kDenied, RegDeleteValueA(readOnly, "Value"));
  HKEY child = nullptr;
  EXPECT_EQ(kDenied, RegCreateKeyExA(readOnly, "Child", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr));
  ASSERT_EQ(kOk, SetDword(key.handle, "Value", 1));
  EXPECT_EQ(1u, tlx::win32::RegReadDword(readOnly, u"Value", 0));
  EXPECT_EQ(kOk, RegCloseKey(readOnly));
  EXPECT_EQ(LONG(ERROR_INVALID_HANDLE), SetDword(readOnly, "Value", 1));
}

TEST(Registry, ThreadsSharingOneKeyLoseNothing) {
  constexpr int kThreads = 6;
  constexpr int kRounds = 60;
  Key key(TestKeyPath());
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      const std::string name = "thread" + std::to_string(t);
      for (int round = 1; round <= kRounds; ++round) {
        HKEY own = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, TestKeyPath().c_str(), 0, KEY_ALL_ACCESS, &own) != kOk ||
            SetDword(own, name.c_str(), static_cast<DWORD>(round)) != kOk ||
            tlx::win32::RegReadDword(key.handle, tlx::win32::Utf8ToUtf16(name).c_str(), 0) != DWORD(round)) {
          ++failures;
        }
        char enumerated[32];
        DWORD chars = sizeof(enumerated);
        if (RegEnumValueA(own, 0, enumerated, &chars, nullptr, nullptr, nullptr, nullptr) != kOk) ++failures;
        RegCloseKey(own);
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(0, failures.load());
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_EQ(DWORD(kRounds),
              tlx::win32::RegReadDword(key.handle, tlx::win32::Utf8ToUtf16("thread" + std::to_string(t)).c_str(), 0));
  }
}

// The helper writes DWORD values name0, name1, ... under a key and prints each
// index once its write has committed.
std::vector<std::string> WriterArguments(const std::string& key, const std::string& prefix, int count) {
  return {"registry-write", key, prefix, std::to_string(count)};
}

TEST(RegistryProcesses, TwoWritersOfOneHiveLoseNothing) {
  constexpr int kCount = 150;
  ChildProcess first("win32_services_helper", WriterArguments(TestKeyPath(), "a", kCount));
  ChildProcess second("win32_services_helper", WriterArguments(TestKeyPath(), "b", kCount));
  ASSERT_TRUE(first.started() && second.started());
  // Both write at once while this process reads.
  Key key(TestKeyPath());
  for (int i = 0; i < 20; ++i) tlx::win32::RegReadDword(key.handle, u"a0", 0);
  EXPECT_EQ(0, first.Wait(60000));
  EXPECT_EQ(0, second.Wait(60000));
  for (const char* prefix : {"a", "b"}) {
    for (int i = 0; i < kCount; ++i) {
      const std::u16string name = tlx::win32::Utf8ToUtf16(prefix + std::to_string(i));
      EXPECT_EQ(DWORD(i), tlx::win32::RegReadDword(key.handle, name.c_str(), 0xFFFFFFFF)) << prefix << i;
    }
  }
}

TEST(RegistryProcesses, AWriterKilledMidLoopLeavesEveryCommittedValue) {
  ChildProcess writer("win32_services_helper", WriterArguments(TestKeyPath(), "v", -1));
  ASSERT_TRUE(writer.started());
  int committed = -1;
  while (committed < 40) {
    const std::string line = writer.ReadLine();
    ASSERT_FALSE(line.empty()) << "the writer stopped early";
    committed = std::stoi(line);
  }
  writer.Kill();
  EXPECT_EQ(128 + 9, writer.Wait());
  sqlite3* db = nullptr;
  ASSERT_EQ(SQLITE_OK, sqlite3_open_v2((g_registryFolder.path() / "HKEY_CURRENT_USER.db").c_str(), &db,
                                       SQLITE_OPEN_READONLY, nullptr));
  sqlite3_stmt* check = nullptr;
  ASSERT_EQ(SQLITE_OK, sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &check, nullptr));
  ASSERT_EQ(SQLITE_ROW, sqlite3_step(check));
  EXPECT_STREQ("ok", reinterpret_cast<const char*>(sqlite3_column_text(check, 0)));
  sqlite3_finalize(check);
  sqlite3_close(db);

  Key key(TestKeyPath());
  ASSERT_EQ(kOk, key.status);
  for (int i = 0; i <= committed; ++i) {
    EXPECT_EQ(DWORD(i), tlx::win32::RegReadDword(key.handle, tlx::win32::Utf8ToUtf16("v" + std::to_string(i)).c_str(),
                                                 0xFFFFFFFF))
        << i;
  }
}

TEST(RegistryProcesses, AFileThatIsNoHiveIsRefused) {
  struct Case {
    const char* name;
    void (*make)(const std::filesystem::path& file);
    DWORD expected;
  };
  const Case cases[] = {
      {"garbage", [](const std::filesystem::path& file) { std::ofstream(file) << std::string(4096, 'x'); },
       ERROR_BADDB},
      {"another program's database",
       [](const std::filesystem::path& file) {
         sqlite3* db = nullptr;
         sqlite3_open(file.c_str(), &db);
         sqlite3_exec(db, "CREATE TABLE other(x)", nullptr, nullptr, nullptr);
         sqlite3_close(db);
       },
       ERROR_BADDB},
      {"an empty file", [](const std::filesystem::path& file) { std::ofstream{file}; }, ERROR_SUCCESS},
      {"no file", [](const std::filesystem::path&) {}, ERROR_SUCCESS},
  };
  for (const Case& c : cases) {
    TempFolder folder;
    c.make(folder.path() / "HKEY_LOCAL_MACHINE.db");
    // A fresh process, as a process opens each hive once.
    ChildProcess probe("win32_services_helper", {"registry-probe", folder.path().string()});
    EXPECT_EQ(std::to_string(c.expected), probe.ReadLine()) << c.name;
  }
}

}  // namespace

#include "common/tlx_pc_cmn_reg_key.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "resources/module_builder.h"
#include "support/child_process.h"
#include "win32/text.h"

namespace {

using tlx::test::ChildProcess;
using tlx::test::TempFolder;

// Every test process keeps its hives in a folder of its own.
const TempFolder& g_registryFolder = tlx::test::ProcessRegistryFolder();

// A key of its own for each test, below HKEY_CURRENT_USER.
std::u16string TestKeyPath() {
  return u"Software\\CommonTests\\" +
         tlx::win32::Utf8ToUtf16(testing::UnitTest::GetInstance()->current_test_info()->name());
}

std::unique_ptr<CTlxPcCmnRegKey> TestKey() {
  CTlxPcCmnRegKey root(HKEY_CURRENT_USER);
  return std::unique_ptr<CTlxPcCmnRegKey>(root.CreateKey(TestKeyPath().c_str()));
}

void SetRaw(HKEY key, const char16_t* name, DWORD type, const std::vector<BYTE>& bytes) {
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key, name, 0, type, bytes.data(), static_cast<DWORD>(bytes.size())));
}

struct RawValue {
  DWORD type = REG_NONE;
  std::vector<BYTE> bytes;
};

RawValue QueryRaw(HKEY key, const char16_t* name) {
  RawValue value;
  DWORD size = 0;
  if (RegQueryValueExW(key, name, nullptr, &value.type, nullptr, &size) != ERROR_SUCCESS) return value;
  value.bytes.resize(size);
  RegQueryValueExW(key, name, nullptr, &value.type, value.bytes.data(), &size);
  return value;
}

std::vector<std::string> ValueNames(HKEY key) {
  std::vector<std::string> names;
  for (DWORD index = 0;; ++index) {
    WCHAR name[256];
    DWORD chars = 256;
    if (RegEnumValueW(key, index, name, &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.push_back(tlx::win32::Utf16ToUtf8(std::u16string(name, chars)));
  }
  return names;
}

std::vector<BYTE> Utf16Bytes(const std::u16string& text, bool terminator) {
  const auto* first = reinterpret_cast<const BYTE*>(text.c_str());
  return std::vector<BYTE>(first, first + (text.size() + (terminator ? 1 : 0)) * 2);
}

// Values written raw, read back through the typed reads.
TEST(RegKey, TypedReadsOfRawValues) {
  auto key = TestKey();
  ASSERT_NE(nullptr, key);
  struct Case {
    const char16_t* name;
    DWORD type;
    std::vector<BYTE> bytes;
    DWORD dword;             // ReadDword with default 77
    std::u16string string;   // ReadString with default "def"
  };
  const std::vector<Case> cases = {
      {u"Dword", REG_DWORD, {0x78, 0x56, 0x34, 0x12}, 0x12345678, u"\x5678\x1234"},
      {u"Binary4", REG_BINARY, {1, 0, 0, 0}, 77, u"\x0001"},
      {u"ShortDword", REG_DWORD, {5, 0}, 77, u"\x0005"},
      {u"Terminated", REG_SZ, Utf16Bytes(u"Tuner", true), 77, u"Tuner"},
      {u"Unterminated", REG_SZ, Utf16Bytes(u"Tuner", false), 77, u"Tuner"},
      {u"OddLength", REG_SZ, {'A', 0, 'B', 0, 'C'}, 77, u"AB"},
      {u"DwordAsText", REG_DWORD, {0x41, 0, 0x42, 0}, 0x00420041, u"AB"},
      {u"DwordFive", REG_DWORD, {5, 0, 0, 0}, 5, u"\x0005"},
  };
  for (const Case& c : cases) SetRaw(key->GetKey(), c.name, c.type, c.bytes);
  for (const Case& c : cases) {
    const std::string name = tlx::win32::NarrowText(c.name);
    EXPECT_EQ(c.dword, key->ReadDword(c.name, 77)) << name;
    EXPECT_EQ(static_cast<int>(c.dword), key->ReadInteger(c.name, 77)) << name;
    const CString text = key->ReadString(c.name, u"def");
    EXPECT_EQ(c.string, std::u16string(text.GetString())) << name;
    EXPECT_EQ(static_cast<int>(c.string.size()), text.GetLength()) << name;
  }
  EXPECT_EQ(77u, key->ReadDword(u"Missing", 77));
  EXPECT_EQ(-3, key->ReadInteger(u"Missing", -3));
  EXPECT_EQ(CString(u"def"), key->ReadString(u"Missing", u"def"));
}

TEST(RegKey, WritesStoreTheirExactBytes) {
  auto key = TestKey();
  ASSERT_NE(nullptr, key);
  ASSERT_TRUE(key->WriteString(u"Name", u"Living room"));
  ASSERT_TRUE(key->WriteString(u"Empty", u""));
  ASSERT_TRUE(key->WriteDword(u"Count", 0xA1B2C3D4));
  ASSERT_TRUE(key->WriteInteger(u"Signed", -2));
  const RawValue name = QueryRaw(key->GetKey(), u"Name");
  EXPECT_EQ(REG_SZ, name.type);
  EXPECT_EQ(Utf16Bytes(u"Living room", true), name.bytes) << "(length + 1) x 2 bytes";
  EXPECT_EQ(Utf16Bytes(u"", true), QueryRaw(key->GetKey(), u"Empty").bytes);
  const RawValue count = QueryRaw(key->GetKey(), u"Count");
  EXPECT_EQ(REG_DWORD, count.type);
  EXPECT_EQ((std::vector<BYTE>{0xD4, 0xC3, 0xB2, 0xA1}), count.bytes);
  EXPECT_EQ((std::vector<BYTE>{0xFE, 0xFF, 0xFF, 0xFF}), QueryRaw(key->GetKey(), u"Signed").bytes);
  EXPECT_EQ(-2, key->ReadInteger(u"Signed", 0));
  EXPECT_FALSE(key->WriteString(u"Null", nullptr));
  EXPECT_EQ(REG_NONE, QueryRaw(key->GetKey(), u"Null").type);
}

TEST(RegKey, CreateAndOpenSubkeys) {
  auto key = TestKey();
  ASSERT_NE(nullptr, key);
  std::unique_ptr<CTlxPcCmnRegKey> nested(key->CreateKey(u"Outer\\Middle\\Inner"));
  ASSERT_NE(nullptr, nested);
  ASSERT_TRUE(nested->WriteDword(u"Depth", 3));
  std::unique_ptr<CTlxPcCmnRegKey> opened(key->OpenKey(u"OUTER\\middle\\Inner", KEY_READ));
  ASSERT_NE(nullptr, opened) << "names compare without regard to case";
  EXPECT_EQ(3u, opened->ReadDword(u"Depth", 0));
  EXPECT_EQ(nullptr, key->OpenKey(u"Outer\\Missing", KEY_READ));
  CTlxPcCmnRegKey none;
  EXPECT_EQ(nullptr, none.GetKey());
  EXPECT_EQ(nullptr, none.CreateKey(u"Anything")) << "no key to create it under";
  EXPECT_EQ(9u, none.ReadDword(u"Depth", 9));
  EXPECT_FALSE(none.WriteDword(u"Depth", 1));
}

// The value names of the resource-id forms come from the chain; a name that
// loads empty leaves the store alone.
TEST(RegKey, ResourceIdFormsTakeTheirNamesFromTheChain) {
  auto key = TestKey();
  ASSERT_NE(nullptr, key);
  constexpr int kNamed = 24001, kEmpty = 24002, kMissing = 24003, kText = 24004;
  tlx::resources::ModuleBuilder builder;
  HINSTANCE module = builder.String(kNamed, "Volume").String(kEmpty, "").String(kText, "Label").Build();
  ASSERT_NE(nullptr, module);
  TlxPcRegisterLibraryResources(module);

  EXPECT_TRUE(key->WriteDword(kNamed, 7));
  EXPECT_TRUE(key->WriteString(kText, u"Den"));
  EXPECT_EQ(7u, key->ReadDword(u"Volume", 0));
  EXPECT_EQ(7u, key->ReadDword(kNamed, 0));
  EXPECT_EQ(7, key->ReadInteger(kNamed, 0));
  EXPECT_EQ(CString(u"Den"), key->ReadString(kText, u"x"));
  EXPECT_TRUE(key->WriteInteger(kNamed, 8));
  EXPECT_EQ(8u, key->ReadDword(u"Volume", 0));

  for (const int id : {kEmpty, kMissing}) {
    EXPECT_FALSE(key->WriteDword(id, 1)) << id;
    EXPECT_FALSE(key->WriteInteger(id, 1)) << id;
    EXPECT_FALSE(key->WriteString(id, u"x")) << id;
    EXPECT_EQ(55u, key->ReadDword(id, 55)) << id;
    EXPECT_EQ(-5, key->ReadInteger(id, -5)) << id;
    EXPECT_EQ(CString(u"def"), key->ReadString(id, u"def")) << id;
  }
  // The refused calls stored nothing, not even under the key's default value.
  EXPECT_EQ((std::vector<std::string>{"Volume", "Label"}), ValueNames(key->GetKey()));
  EXPECT_EQ(8u, key->ReadDword(u"Volume", 0));
  EXPECT_TRUE(TlxPcFreeResourceLibrary(module));
}

// Copies share the key; each keeps working after the others are gone.
TEST(RegKey, CopiesOutliveTheirOriginal) {
  auto original = TestKey();
  ASSERT_NE(nullptr, original);
  CTlxPcCmnRegKey copy(*original);
  CTlxPcCmnRegKey assigned;
  assigned = copy;
  const HKEY handle = original->GetKey();
  original.reset();
  EXPECT_EQ(handle, copy.GetKey());
  EXPECT_TRUE(copy.WriteDword(u"AfterOriginal", 1));
  {
    CTlxPcCmnRegKey transient(copy);
  }
  EXPECT_EQ(1u, assigned.ReadDword(u"AfterOriginal", 0));
  copy = CTlxPcCmnRegKey();
  EXPECT_TRUE(assigned.WriteDword(u"AfterCopy", 2));
  EXPECT_EQ(2u, assigned.ReadDword(u"AfterCopy", 0));
}

TEST(RegKey, AnotherProcessReadsWhatWasWritten) {
  auto key = TestKey();
  ASSERT_NE(nullptr, key);
  ASSERT_TRUE(key->WriteDword(u"Count", 4242));
  ASSERT_TRUE(key->WriteString(u"Name", u"Kitchen \u00e9"));
  ChildProcess helper("common_helper", {"read-values", tlx::win32::Utf16ToUtf8(TestKeyPath())});
  ASSERT_TRUE(helper.started());
  EXPECT_EQ("4242", helper.ReadLine());
  EXPECT_EQ("Kitchen \u00e9", helper.ReadLine());
  EXPECT_EQ(0, helper.Wait());
}

}  // namespace

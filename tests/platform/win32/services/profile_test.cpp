#include "win32/profile.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "support/child_process.h"
#include "win32/text.h"

namespace {

using tlx::test::TempFolder;

void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string ReadString(const char* section, const char* key, const std::string& file, const char* fallback = "dflt") {
  char buffer[64];
  GetPrivateProfileStringA(section, key, fallback, buffer, sizeof(buffer), file.c_str());
  return buffer;
}

const char kProfile[] =
    "; comment = not a key\r\n"
    "[Filter]\r\n"
    "  FilterDll = 1  \r\n"
    "PostFilter=\r\n"
    "Quoted=\"  spaced  \"\n"
    "Single='x'\n"
    "Half=\"open\n"
    "Equals=a=b\n"
    "no equals sign here\n"
    "Dup=first\n"
    "dup=second\n"
    "  [ movie ]  \n"
    "pos_x=-9\n"
    "hex=0x1F\n"
    "HEXUP=0XfF junk\n"
    "plus=+12abc\n"
    "junk=abc\n"
    "blank=   \n"
    "[Filter]\n"
    "Late=ignored\n";

// The file above, as the engine's settings file.
class ProfileFile : public testing::Test {
 protected:
  void SetUp() override { WriteFile(file, kProfile); }
  TempFolder folder;
  const std::string file = (folder.path() / "winravix.ini").string();
};

TEST_F(ProfileFile, ReadsValuesWithWindowsSemantics) {
  struct Case {
    const char* section;
    const char* key;
    const char* expected;
  };
  for (const Case& c :
       {Case{"filter", "FILTERDLL", "1"}, Case{"Filter", "PostFilter", ""}, Case{"Filter", "Quoted", "  spaced  "},
        Case{"Filter", "Single", "x"}, Case{"Filter", "Half", "\"open"}, Case{"Filter", "Equals", "a=b"},
        Case{"Filter", "Dup", "first"}, Case{"Filter", "Late", "dflt"}, Case{"Filter", "; comment", "dflt"},
        Case{"Movie", "pos_x", "-9"}, Case{"Movie", "FilterDll", "dflt"}, Case{"Missing", "pos_x", "dflt"}}) {
    EXPECT_EQ(c.expected, ReadString(c.section, c.key, file)) << c.section << "/" << c.key;
  }
  EXPECT_EQ("dflt", ReadString("Filter", "FilterDll", (folder.path() / "absent.ini").string()));
  // Windows-style separators and another letter case find the same file.
  EXPECT_EQ("1", ReadString("Filter", "FilterDll", folder.path().string() + "\\WINRAVIX.INI"));

  char16_t wide[16];
  const std::u16string wideFile = tlx::win32::Utf8ToUtf16(file);
  EXPECT_EQ(1u, GetPrivateProfileStringW(u"FILTER", u"filterdll", u"", wide, 16, wideFile.c_str()));
  EXPECT_EQ(u"1", std::u16string(wide));

  char small[4];
  EXPECT_EQ(0u, GetPrivateProfileStringA("Filter", "Equals", "", small, 1, file.c_str()));
  EXPECT_STREQ("", small);
  EXPECT_EQ(3u, GetPrivateProfileStringA("Filter", "Quoted", "", small, sizeof(small), file.c_str()));
  EXPECT_STREQ("  s", small);
}

TEST_F(ProfileFile, ReadsIntegers) {
  struct Case {
    const char* key;
    UINT expected;
  };
  for (const Case& c : {Case{"pos_x", static_cast<UINT>(-9)}, Case{"hex", 31}, Case{"hexup", 255}, Case{"plus", 12},
                        Case{"junk", 0}, Case{"blank", 77}, Case{"absent", 77}}) {
    EXPECT_EQ(c.expected, GetPrivateProfileIntA("Movie", c.key, 77, file.c_str())) << c.key;
  }
  EXPECT_EQ(31u, GetPrivateProfileIntW(u"MOVIE", u"Hex", 77, tlx::win32::Utf8ToUtf16(file).c_str()));
}

TEST(Profile, SeesEveryChangeOfTheFile) {
  TempFolder folder;
  const std::string file = (folder.path() / "tlxavcdl.ini").string();
  EXPECT_EQ(5u, GetPrivateProfileIntA("TLXAVC", "Perfmode", 5, file.c_str()));
  WriteFile(file, "[TLXAVC]\nPerfmode=2\n");
  EXPECT_EQ(2u, GetPrivateProfileIntA("TLXAVC", "Perfmode", 5, file.c_str()));
  WriteFile(file, "[TLXAVC]\nPerfmode=3\n");
  EXPECT_EQ(3u, GetPrivateProfileIntA("TLXAVC", "Perfmode", 5, file.c_str()));
  std::filesystem::remove(file);
  EXPECT_EQ(5u, GetPrivateProfileIntA("TLXAVC", "Perfmode", 5, file.c_str()));
}

TEST(Profile, ReadsOtherEncodingsAndSurvivesMalformedFiles) {
  TempFolder folder;
  struct Case {
    const char* name;
    std::string bytes;
    const char* expected;
  };
  const std::string utf16 = std::string("\xFF\xFE[\0s\0]\0\n\0k\0=\0\xFC\0\n\0", 18);
  const Case cases[] = {
      {"UTF-8 with byte-order mark", "\xEF\xBB\xBF[s]\nk=v\n", "v"},
      {"UTF-16 with byte-order mark", utf16, "\xC3\xBC"},
      {"NUL bytes and garbage", std::string("\0\xFF[s\0]\n[s]\r\r\nk=\x01v\x80\n", 20), "\x01v\x80"},
      {"header without its bracket", "[s\nk=v", "v"},
      {"a very long line", "[s]\n" + std::string(100000, 'k') + "=long\nk=v", "v"},
      {"key without a line end", "[s]\nk=v", "v"},
      {"only a header", "[s]", "dflt"},
      {"empty file", "", "dflt"},
      {"a lone quote", "[s]\nk=\"\n", "\""},
  };
  for (const Case& c : cases) {
    const std::string file = (folder.path() / "case.ini").string();
    WriteFile(file, c.bytes);
    EXPECT_EQ(c.expected, ReadString("s", "k", file)) << c.name;
  }
  const std::string big = (folder.path() / "big.ini").string();
  WriteFile(big, "[s]\nk=v\n" + std::string(kProfileMaxFileSize, ' '));
  EXPECT_EQ("dflt", ReadString("s", "k", big)) << "an oversized file counts as missing";
}

}  // namespace

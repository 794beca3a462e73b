#include "win32/paths.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "support/child_process.h"
#include "win32/synch.h"

namespace {

using tlx::test::TempFolder;

std::string Environment(const char* name) {
  char buffer[512];
  const DWORD length = GetEnvironmentVariableA(name, buffer, sizeof(buffer));
  return length < sizeof(buffer) ? std::string(buffer, length) : "(too long)";
}

TEST(Paths, SpecialFoldersDefaultToXdgFoldersAndFollowTheEnvironment) {
  setenv("HOME", "/home/viewer", 1);
  setenv("XDG_DATA_HOME", "/data", 1);
  unsetenv("XDG_CONFIG_HOME");
  unsetenv("ALLUSERSPROFILE");
  unsetenv("CommonProgramFiles");
  unsetenv("APPDATA");
  EXPECT_EQ("/data/tlx-player/all-users", Environment("ALLUSERSPROFILE"));
  EXPECT_EQ("/data/tlx-player/common-files", Environment("CommonProgramFiles"));
  EXPECT_EQ("/home/viewer/.config", Environment("APPDATA"));
  setenv("XDG_DATA_HOME", "relative", 1);  // ignored, as the XDG rules say
  EXPECT_EQ("/home/viewer/.local/share/tlx-player/all-users", Environment("ALLUSERSPROFILE"));
  setenv("ALLUSERSPROFILE", "/srv/shared", 1);
  EXPECT_EQ("/srv/shared", Environment("ALLUSERSPROFILE"));

  unsetenv("TLX_NOT_SET");
  EXPECT_EQ(0u, GetEnvironmentVariableA("TLX_NOT_SET", nullptr, 0));
  EXPECT_EQ(ERROR_ENVVAR_NOT_FOUND, GetLastError());
  char small[4];
  EXPECT_EQ(12u, GetEnvironmentVariableA("ALLUSERSPROFILE", small, sizeof(small))) << "the size needed";
  char16_t wide[32];
  EXPECT_EQ(11u, GetEnvironmentVariableW(u"ALLUSERSPROFILE", wide, 32));
  EXPECT_EQ(u"/srv/shared", std::u16string(wide));
}

TEST(Paths, NamesReportTheirSizesTheWindowsWay) {
  char name[256];
  DWORD size = sizeof(name);
  ASSERT_TRUE(GetUserNameA(name, &size));
  EXPECT_EQ(std::string(name).size() + 1, size) << "the user name's size counts the terminator";
  DWORD tiny = 1;
  EXPECT_FALSE(GetUserNameA(name, &tiny));
  EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, GetLastError());
  EXPECT_EQ(size, tiny);

  size = sizeof(name);
  ASSERT_TRUE(GetComputerNameA(name, &size));
  EXPECT_EQ(std::string(name).size(), size) << "the computer name's does not";
  EXPECT_EQ(std::string::npos, std::string(name).find('.'));
  tiny = 1;
  EXPECT_FALSE(GetComputerNameA(name, &tiny));
  EXPECT_EQ(ERROR_BUFFER_OVERFLOW, GetLastError());
  EXPECT_EQ(size + 1, tiny);
}

TEST(Paths, FilesAreFoundWithoutRegardToCaseAndWithEitherSeparator) {
  TempFolder folder;
  std::ofstream(folder.path() / "TlxAacDec.ax") << "x";
  std::filesystem::create_directories(folder.path() / "TLXAACDEC.AX.d");
  const std::string root = folder.path().string();
  EXPECT_EQ(root + "/TlxAacDec.ax", tlx::win32::FindFileNoCase(root + "\\TLXAACDEC.ax"));
  EXPECT_EQ(root + "/TlxAacDec.ax", tlx::win32::FindFileNoCase(root + "/TlxAacDec.ax"));
  EXPECT_EQ("", tlx::win32::FindFileNoCase(root + "/tlxaacdec.ax.D")) << "folders are no match";
  EXPECT_EQ("", tlx::win32::FindFileNoCase(root + "/missing/TlxAacDec.ax"));
  EXPECT_EQ(5u, tlx::win32::FileNameOffset("C:\\d/file"));
}

}  // namespace

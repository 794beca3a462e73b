#include "win32/modules.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "support/child_process.h"
#include "win32/paths.h"
#include "win32/synch.h"
#include "win32/text.h"

namespace {

using tlx::test::ProgramFolder;
using tlx::test::TempFolder;

const std::string kModuleFile = "libTlxTestModule.so";

TEST(Modules, FindsAModuleUnderItsWindowsNameLoadsAndUnloadsIt) {
  const auto before = std::filesystem::current_path();
  const std::string folder = ProgramFolder().string();
  const std::string windowsStyle = folder + "\\LIBTLXTESTMODULE.SO";
  struct Case {
    const char* how;
    std::string name;
  };
  for (const Case& c :
       {Case{"bare name, other case", "libtlxtestmodule.SO"}, Case{"Windows name of a library", "TLXTESTMODULE.dll"},
        Case{"absolute path, other case, backslash", windowsStyle}}) {
    SCOPED_TRACE(c.how);
    HMODULE module = LoadLibraryA(c.name.c_str());
    ASSERT_NE(nullptr, module);
    auto answer = reinterpret_cast<int (*)()>(GetProcAddress(module, "TlxTestModuleAnswer"));
    ASSERT_NE(nullptr, answer);
    EXPECT_EQ(42, answer());
    EXPECT_EQ(nullptr, GetProcAddress(module, "Missing"));
    EXPECT_EQ(ERROR_PROC_NOT_FOUND, GetLastError());

    char path[512];
    const DWORD length = GetModuleFileNameA(module, path, sizeof(path));
    EXPECT_EQ(folder + "/" + kModuleFile, std::string(path, length));
    EXPECT_EQ(std::string(path), tlx::win32::ModulePathOfAddress(reinterpret_cast<const void*>(answer)));

    // A second load shares the module; it goes with the last release.
    HMODULE again = LoadLibraryW(tlx::win32::Utf8ToUtf16(c.name).c_str());
    EXPECT_EQ(module, again);
    EXPECT_TRUE(FreeLibrary(again));
    EXPECT_NE(nullptr, dlopen(path, RTLD_NOW | RTLD_NOLOAD)) << "still held once";
    dlclose(module);  // the probe's own reference
    EXPECT_TRUE(FreeLibrary(module));
    EXPECT_EQ(nullptr, dlopen(path, RTLD_NOW | RTLD_NOLOAD)) << "unloaded";
  }
  EXPECT_EQ(before, std::filesystem::current_path());
}

TEST(Modules, SearchesTheModuleFoldersAndRefusesWhatIsNoLibrary) {
  TempFolder empty;
  TempFolder other;
  std::filesystem::copy_file(ProgramFolder() / kModuleFile, other.path() / "Filter.AX");
  std::ofstream(other.path() / "garbage.ax") << "not a library";

  unsetenv("TLX_MODULE_PATH");
  EXPECT_EQ(nullptr, LoadLibraryA("filter.ax"));
  EXPECT_EQ(ERROR_MOD_NOT_FOUND, GetLastError());
  setenv("TLX_MODULE_PATH", (empty.path().string() + "::" + other.path().string()).c_str(), 1);
  HMODULE module = LoadLibraryA("filter.ax");
  unsetenv("TLX_MODULE_PATH");
  ASSERT_NE(nullptr, module);
  EXPECT_NE(nullptr, GetProcAddress(module, "TlxTestModuleAnswer"));
  EXPECT_TRUE(FreeLibrary(module));

  EXPECT_EQ(nullptr, LoadLibraryA((other.path() / "GARBAGE.AX").c_str()));
  EXPECT_EQ(ERROR_BAD_EXE_FORMAT, GetLastError());
  EXPECT_EQ(nullptr, LoadLibraryA((empty.path() / "filter.ax").c_str())) << "a folder given is the only one searched";
}

TEST(Modules, TheExecutablesFolderCanBeMoved) {
  const std::string program = std::filesystem::read_symlink("/proc/self/exe").string();
  char path[512];
  EXPECT_EQ(program, std::string(path, GetModuleFileNameA(nullptr, path, sizeof(path))));

  // Code of the program itself is found in the program, wherever it was
  // started from.
  const auto* ownCode = reinterpret_cast<const void*>(&tlx::test::ProgramFolder);
  EXPECT_EQ(program, tlx::win32::ModulePathOfAddress(ownCode));

  setenv("TLX_EXE_DIR", "/opt/player", 1);
  const std::string moved = "/opt/player/" + std::filesystem::path(program).filename().string();
  EXPECT_EQ(moved, tlx::win32::ExecutablePath());
  EXPECT_EQ(moved, tlx::win32::ModulePathOfAddress(ownCode));
  char16_t wide[8];
  EXPECT_EQ(8u, GetModuleFileNameW(nullptr, wide, 8));
  EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, GetLastError());
  EXPECT_EQ(u"/opt/pl", std::u16string(wide));
  unsetenv("TLX_EXE_DIR");
}

}  // namespace

// Binding the authentication library, and the module search under it. The
// tests run in this order in one process: a library that binds stays bound.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "link/config/tlx_auth_fns.h"
#include "link/config/tlx_module.h"
#include "link_env_support.h"
#include "support/child_process.h"

namespace tlx::link {
namespace {

using tlx::test::TempFolder;

// True when the process holds the stub module of that file name.
bool Loaded(const char* file) {
  void* module = dlopen((std::string(LINK_STUB_FOLDER) + "/" + file).c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (module != nullptr) dlclose(module);
  return module != nullptr;
}

TEST(AuthBind, WithoutALibraryEveryWrapperAnswersUnboundAndTriesAgain) {
  test::UseTestEnvironment();
  setenv("TLX_AUTH_MODULE", "NoSuchAuthentication.dll", 1);
  char out[64] = {};
  const struct {
    const char* name;
    std::function<long long()> call;
    long long unbound;
  } cases[] = {
      {"registration", [] { return tlxAuthRegistration("1", "a", "h", 1, 0, 0); }, -1},
      {"reg value", [] { return static_cast<long long>(tlxAuthGetRegValue("key").size()); }, 0},
      {"init", [] { return tlxAuthInit(); }, 0},
      {"authentication", [] { return tlxAuthAuthentication(3, "h", 1, 0); }, 0},
      {"aks", [&] { return tlxAuthGetAKS(out); }, -1},
      {"password", [&] { return tlxAuthMakePassword(out, sizeof out, "n"); }, -1},
      {"base type", [] { return tlxAuthGetBaseType(); }, 0},
      {"codec type", [] { return tlxAuthGetCodecType(); }, 0},
      {"scaling", [] { return tlxAuthGetScalingMode(); }, 0},
      {"base id", [] { return static_cast<long long>(tlxAuthGetBaseId().size()); }, 0},
      {"request", [] { return tlxAuthRequestAuthentication("h", 1, "GET", "/"); }, 0},
      {"register", [] { return (tlxAuthSysInfoRegister(nullptr), 0); }, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const int attempts = tlxModuleLoadAttempts();
    EXPECT_EQ(c.unbound, c.call());
    EXPECT_EQ(attempts + 1, tlxModuleLoadAttempts()) << "each call searches again";
  }
}

TEST(AuthBind, ALibraryWithoutARequiredFunctionDoesNotBind) {
  test::UseTestEnvironment();
  setenv("TLX_AUTH_MODULE", "TlxAuthStubNoAks.dll", 1);
  EXPECT_FALSE(tlxAuthBind());
  EXPECT_FALSE(Loaded("libTlxAuthStubNoAks.so")) << "unloaded after the failed bind";
  EXPECT_EQ(-1, tlxAuthMakePassword(nullptr, 0, nullptr));
}

TEST(AuthBind, ALibraryWithoutAnOptionalFunctionBinds) {
  test::UseTestEnvironment();
  setenv("TLX_AUTH_MODULE", "TlxAuthStubNoBaseId.dll", 1);
  ASSERT_TRUE(tlxAuthBind());
  EXPECT_EQ("", tlxAuthGetBaseId());
  EXPECT_EQ(7, tlxAuthGetBaseType());
  // Bound for good: another name is not looked at again.
  const int attempts = tlxModuleLoadAttempts();
  setenv("TLX_AUTH_MODULE", "NoSuchAuthentication.dll", 1);
  EXPECT_TRUE(tlxAuthBind());
  EXPECT_EQ(attempts, tlxModuleLoadAttempts());
}

TEST(ModuleSearch, TheFoldersAfterTheNameAsGivenWithoutChangingTheCurrentDirectory) {
  test::UseTestEnvironment();
  TempFolder root;
  const std::filesystem::path stub = std::filesystem::path(LINK_STUB_FOLDER) / "libTlxAuthStub.so";
  const std::filesystem::path work = root.path() / "a" / "b" / "c";
  std::filesystem::create_directories(work);
  const struct {
    const char* name;
    std::filesystem::path folder;
  } cases[] = {
      {"SearchWinRavix.dll", work / "WinRavix"},
      {"SearchRelease.dll", root.path() / "Ravix" / "bin" / "Release"},
      {"SearchCommon.dll", root.path() / "common" / "Marovi" / "WinRavix"},
  };
  for (const auto& c : cases) {
    std::filesystem::create_directories(c.folder);
    const std::string file = "lib" + std::string(c.name, std::strlen(c.name) - 4) + ".so";
    std::filesystem::copy_file(stub, c.folder / file);
  }
  setenv("CommonProgramFiles", (root.path() / "common").c_str(), 1);
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(work);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    tlxModule module;
    EXPECT_TRUE(tlxLoadModule(module, c.name));
    EXPECT_NE(nullptr, module.entry("TlxRavixAuthInit"));
  }
  // Two threads searching at once, each through every folder, leave the
  // current directory where it was.
  const auto search = [] {
    for (int i = 0; i < 20; ++i) {
      tlxModule module;
      EXPECT_FALSE(tlxLoadModule(module, "NoSuchModule.dll"));
    }
  };
  std::thread first(search), second(search);
  first.join();
  second.join();
  EXPECT_EQ(work, std::filesystem::current_path());
  std::filesystem::current_path(previous);
  unsetenv("CommonProgramFiles");
  tlxModule none;
  EXPECT_FALSE(tlxLoadModule(none, "SearchWinRavix.dll"));
  EXPECT_EQ(REGDB_E_CLASSNOTREG, none.createInstance(IID_IUnknown, IID_IUnknown, nullptr));
}

}  // namespace
}  // namespace tlx::link

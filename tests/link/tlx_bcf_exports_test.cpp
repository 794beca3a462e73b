// libTlxBcf.so shows its extern "C" functions and nothing of its insides.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "link/tlx_bcf.h"

namespace {

struct Closer {
  void operator()(void* library) const { dlclose(library); }
};

TEST(TlxBcf, ExportsOnlyTheFlatInterface) {
  const auto path = std::filesystem::canonical("/proc/self/exe").parent_path() / "libTlxBcf.so";
  std::unique_ptr<void, Closer> library(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL));
  ASSERT_NE(library, nullptr) << dlerror();
  auto attach = reinterpret_cast<decltype(&tlxEventMgrCallbackAttach)>(dlsym(library.get(), "tlxEventMgrCallbackAttach"));
  auto detach = reinterpret_cast<decltype(&tlxEventMgrCallbackDetach)>(dlsym(library.get(), "tlxEventMgrCallbackDetach"));
  ASSERT_NE(attach, nullptr);
  ASSERT_NE(detach, nullptr);
  for (const char* flat : {"tlxErdLib_getErdEncryptedSize", "tlxErdLib_encryptErdInfo", "tlxErdLib_decryptErdInfo",
                           "tlxBase64Encode", "tlxBase64Decode", "tlxHexEncode"}) {
    EXPECT_NE(dlsym(library.get(), flat), nullptr) << flat;
  }
  for (const char* inside : {"_ZN3tlx4link13eventMgrStartEv", "_ZN3tlx4link6tlxLogEPKcz", "_ZN3tlx4link8wdCreateEv"}) {
    EXPECT_EQ(dlsym(library.get(), inside), nullptr) << inside;
  }
  // Nothing is started here: the event manager refuses receivers.
  EXPECT_EQ(attach([](void*, const TLX_EVENT_MSG*) {}, nullptr, EVENT_ID_TV), -1);
  EXPECT_EQ(attach(nullptr, nullptr, EVENT_ID_TV), -1);
  EXPECT_EQ(detach(nullptr), -1);
}

}  // namespace

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "common/tlx_pc_cmn_dll_loader.h"
#include "common/tlx_pc_cmn_system.h"

namespace {

using SetFlag = void (*)(bool);

// A module that links the common library sets the flag; the program reads
// the same flag, as there is one common library in the process.
TEST(TvTuner, OneFlagForEveryLibraryOfTheProcess) {
  CTlxPcCmnDllLoader module;
  ASSERT_TRUE(module.Load(u"libTlxCommonTestModule.so"));
  SetFlag set = nullptr;
  ASSERT_TRUE(module.Bind("TlxTestSetTVTunerEnabled", &set));
  EXPECT_FALSE(GetTVTunerEnabled()) << "off when the library is loaded";
  set(true);
  EXPECT_TRUE(GetTVTunerEnabled());
  SetTVTunerEnabled(false);
  set(true);
  set(false);
  EXPECT_FALSE(GetTVTunerEnabled());
}

TEST(TvTuner, ConcurrentSetsAndReads) {
  CTlxPcCmnDllLoader module;
  ASSERT_TRUE(module.Load(u"libTlxCommonTestModule.so"));
  SetFlag set = nullptr;
  ASSERT_TRUE(module.Bind("TlxTestSetTVTunerEnabled", &set));
  std::atomic<int> seenOn{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 2000; ++i) {
        if (t % 2 == 0) {
          (t == 0 ? set : SetTVTunerEnabled)(i % 2 == 0);
        } else if (GetTVTunerEnabled()) {
          seenOn.fetch_add(1);
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  SetTVTunerEnabled(true);
  EXPECT_TRUE(GetTVTunerEnabled());
  SetTVTunerEnabled(false);
  EXPECT_FALSE(GetTVTunerEnabled());
}

}  // namespace

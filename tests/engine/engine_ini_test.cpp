// Where the engine's INI file is and how its values read.
#include <gtest/gtest.h>

#include <cstdlib>

#include "engine/engine_ini.h"
#include "engine_ini_fixture.h"
#include "win32/text.h"

namespace tlx::engine {
namespace {

TEST(EngineIni, LivesBesideTheExecutable) {
  // The test process never sets TLX_EXE_DIR; the path is the program's own
  // folder with "winravix.ini".
  unsetenv("TLX_ENGINE_INI");
  const std::string expected = (tlx::test::ProgramFolder() / "winravix.ini").string();
  EXPECT_EQ(win32::Utf16ToUtf8(EngineIniPath()), expected);
}

TEST(EngineIni, ValuesKeepTheirSignAndReadHexAndAreReadAgainEachTime) {
  test::EngineIni ini("[Movie]\npos_x=-9\nsize_x_num=0x348\n[Filter]\nPostFilter=TLX Post Filter\n");
  EXPECT_EQ(ReadEngineIniInt(u"Movie", u"pos_x", 0), -9);
  EXPECT_EQ(ReadEngineIniInt(u"Movie", u"size_x_num", 0), 0x348);
  EXPECT_EQ(ReadEngineIniInt(u"Movie", u"pos_y", -7), -7);
  EXPECT_EQ(ReadEngineIniString(u"Filter", u"PostFilter", u""), u"TLX Post Filter");
  EXPECT_EQ(ReadEngineIniString(u"Filter", u"VDec", u"row"), u"row");
  ini.Rewrite("[Movie]\npos_x=3\n");
  EXPECT_EQ(ReadEngineIniInt(u"Movie", u"pos_x", 0), 3);
}

TEST(EngineIni, LongValuesAreCutAt2048Characters) {
  test::EngineIni ini("[DSPParam]\n0=" + std::string(3000, 'x') + "\n");
  EXPECT_EQ(ReadEngineIniString(u"DSPParam", u"0", u"").size(), 2048u);
}

}  // namespace
}  // namespace tlx::engine

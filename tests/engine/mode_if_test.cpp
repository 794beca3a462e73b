// The base class's operations without a graph and with one.
#include <gtest/gtest.h>

#include "com/class_registry.h"
#include "test_stream_object.h"

namespace tlx::engine {
namespace {

using test::BaseStreamObject;

void ExpectRecord(CTlxPcStmModeIf& object, int line, int errorId) {
  CTlxPcCmnErrInfo info;
  object.vGetLastErrorInfo(info);
  EXPECT_EQ(info.nGetProId(), 2);
  EXPECT_EQ(info.nGetClassId(), kTlxPcStmClassBase);
  EXPECT_EQ(info.nGetLine(), line);
  EXPECT_EQ(info.nGetErrId(), errorId);
  EXPECT_EQ(info.nGetReserve(), 0);
}

TEST(StreamModeIf, ConstructionRecordAndDefaults) {
  BaseStreamObject object;
  ExpectRecord(object, 252, 0);
  long volume = 0;
  EXPECT_TRUE(object.bGetVolume(volume));
  EXPECT_EQ(volume, 8800);
  EXPECT_EQ(object.GetChangeStateError(), 0);
  EXPECT_TRUE(object.bSendFlashBuffers());
  EXPECT_TRUE(object.bSetupTVParams(1, u"x"));
}

TEST(StreamModeIf, OperationsWithoutAGraphReportTheMissingInterface) {
  struct Case {
    const char* name;
    int (*call)(BaseStreamObject&);
    int line;
  };
  const Case cases[] = {
      {"bStopMovie", [](BaseStreamObject& o) { return o.bStopMovie(); }, 88},
      {"bIsRanMovie", [](BaseStreamObject& o) { return o.bIsRanMovie(); }, 207},
      {"bGetVideoSize",
       [](BaseStreamObject& o) {
         long w = 0, h = 0;
         return o.bGetVideoSize(w, h);
       },
       144},
      {"bSetVolume", [](BaseStreamObject& o) { return o.bSetVolume(5000); }, 166},
      {"bRunMovie", [](BaseStreamObject& o) { return o.bRunMovie(); }, 297},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BaseStreamObject object;
    EXPECT_EQ(c.call(object), FALSE);
    ExpectRecord(object, c.line, 3);
    EXPECT_EQ(object.hGetLastErrorCodeForDirectX(), S_OK);
  }
  BaseStreamObject object;
  long volume = 0;
  object.bSetVolume(5000);
  object.bGetVolume(volume);
  EXPECT_EQ(volume, 8800);  // a failed change is not remembered
  // Placing without a video window fails without a line.
  EXPECT_EQ(object.bSetMoviePosition(0, 0, 320, 240), FALSE);
  ExpectRecord(object, 166, 3);
}

TEST(StreamModeIf, BuildingBlocksNeedAGraph) {
  BaseStreamObject object;
  IBaseFilter* filter = reinterpret_cast<IBaseFilter*>(1);
  EXPECT_EQ(object.hAddFilter(u"Any", &filter), E_FAIL);
  EXPECT_EQ(filter, nullptr);
  EXPECT_EQ(object.hGetInterface(), E_FAIL);
  EXPECT_EQ(object.hConnectFilters(nullptr, nullptr), E_FAIL);
}

TEST(StreamModeIf, AGraphWithoutVideoStillStops) {
  ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
  {
    BaseStreamObject object;
    ASSERT_EQ(object.hCreateFilterGraph(), S_OK);
    // No renderer answers the video window: the interfaces stop there, with
    // the control already kept.
    EXPECT_EQ(object.hGetInterface(), E_NOINTERFACE);
    EXPECT_TRUE(object.bRunMovie());
    EXPECT_TRUE(object.bIsRanMovie());
    // Hiding fails, yet the graph is stopped.
    EXPECT_FALSE(object.bStopMovie());
    ExpectRecord(object, 97, 12);
    EXPECT_EQ(object.hGetLastErrorCodeForDirectX(), E_NOINTERFACE);
    EXPECT_FALSE(object.bIsRanMovie());
    long w = 0, h = 0;
    EXPECT_FALSE(object.bGetVideoSize(w, h));
    ExpectRecord(object, 151, 6);
    EXPECT_FALSE(object.bSetMoviePosition(0, 0, 320, 240));
    ExpectRecord(object, 130, 13);
    object.vCleanup();
    EXPECT_FALSE(object.bStopMovie());
    ExpectRecord(object, 88, 3);
  }
  CoUninitialize();
}

}  // namespace
}  // namespace tlx::engine

#include "dshow/media_type.h"

#include <gtest/gtest.h>

namespace {

TEST(MediaType, PlaceholderBuilds) { EXPECT_EQ(sizeof(VIDEOINFOHEADER), 88u); }

}  // namespace

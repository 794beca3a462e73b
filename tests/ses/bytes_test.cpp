#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "ses/ses_bytes.h"
#include "ses_test_support.h"

TEST(SesBytes, AssignTextKeepsNulAndShrinkKeepsStorage) {
  SesBytes bytes(1);
  EXPECT_EQ(bytes.assign("ab", -1), 3);
  ASSERT_EQ(bytes.size(), 3u);
  EXPECT_EQ(std::memcmp(bytes.data(), "ab", 3), 0);

  const uint8_t* storage = bytes.data();
  bytes.resize(2);
  EXPECT_EQ(bytes.size(), 2u);
  EXPECT_EQ(bytes.data(), storage);

  // Growing back exposes zeros, not the byte that was cut off.
  bytes.data()[1] = 'x';
  bytes.resize(3);
  EXPECT_EQ(bytes.data(), storage);
  EXPECT_EQ(bytes.data()[2], 0);
  bytes.resize(40);
  EXPECT_EQ(std::memcmp(bytes.data(), "ax", 2), 0);
  for (uint32_t i = 2; i < 40; ++i) EXPECT_EQ(bytes.data()[i], 0) << i;

  bytes.clear();
  EXPECT_EQ(bytes.size(), 40u);
  EXPECT_EQ(bytes.data()[0], 0);

  EXPECT_EQ(bytes.assign(nullptr, -1), -1);
  EXPECT_EQ(bytes.assign("ab", -2), -1);
  EXPECT_EQ(bytes.size(), 40u);
}

TEST(SesBytes, MoveLeavesSourceEmpty) {
  SesBytes source("xyz", 3);
  SesBytes target(std::move(source));
  EXPECT_EQ(target.size(), 3u);
  EXPECT_EQ(std::memcmp(target.data(), "xyz", 3), 0);
  EXPECT_EQ(source.size(), 0u);
}

TEST(SesPaddedBytes, PaddingRoundsUpToTheBlock) {
  struct Case {
    uint32_t size, block, padding;
  };
  for (Case c : {Case{0, 16, 0}, Case{1, 16, 15}, Case{16, 16, 0}, Case{17, 16, 15},
                 Case{20, 16, 12}, Case{5, 0, 0}, Case{5, 1, 0}}) {
    SesPaddedBytes bytes(c.size, c.block);
    EXPECT_EQ(bytes.padding(), c.padding) << c.size << "/" << c.block;
    EXPECT_EQ(bytes.paddedSize(), c.size + c.padding);
    EXPECT_EQ(bytes.size(), c.size);
  }
}

TEST(SesPaddedBytes, CopyZeroFillsThePadding) {
  // Leave a dirty block of the same size on the heap for the copy to reuse.
  { std::unique_ptr<uint8_t[]> dirty(new uint8_t[32]); std::memset(dirty.get(), 0xAA, 32); }
  Bytes source = patternBytes(19, 1);
  SesPaddedBytes bytes(source.data(), 19, 16);
  ASSERT_EQ(bytes.paddedSize(), 32u);
  EXPECT_EQ(std::memcmp(bytes.data(), source.data(), 19), 0);
  for (uint32_t i = 19; i < 32; ++i) EXPECT_EQ(bytes.data()[i], 0) << i;
}

TEST(SesRandomBytes, ComeFromTheLibrarySource) {
  {
    FixedRandom fixed({1, 2, 3});
    SesRandomBytes bytes(3);
    EXPECT_EQ(toHex(bytes.data(), bytes.size()), "010203");
  }
  SesRandomBytes a(16), b(16);
  EXPECT_NE(toHex(a.data(), 16), toHex(b.data(), 16));
}

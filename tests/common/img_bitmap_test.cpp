#include <gtest/gtest.h>

#include <QImage>
#include <memory>
#include <thread>
#include <vector>

#include "common/tlx_pc_cmn_img_bitmap.h"
#include "support/fixture_module.h"

namespace {

constexpr UINT kBoth = 60001;        // an IMAGE and a BITMAP
constexpr UINT kBitmapOnly = 60002;  // a BITMAP only
constexpr UINT kCorrupt = 60003;     // an IMAGE that is not a PNG
constexpr UINT kSecond = 60004;      // another IMAGE, of another size
constexpr UINT kMissing = 60005;

const QColor kPng(0x20, 0x90, 0xD0);
const QColor kBmp(0xD0, 0x40, 0x10);

QByteArray Solid(int width, int height, const QColor& colour, const char* format = "PNG") {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(colour);
  if (QByteArray(format) == "PNG") return mfc_test::Png(image);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, format);
  return bytes;
}

class ImgBitmap : public ::testing::Test {
 protected:
  void SetUp() override {
    tlx::resources::ModuleBuilder builder;
    builder.Resource("IMAGE", kBoth, Solid(8, 6, kPng));
    builder.Resource("BITMAP", kBoth, Solid(8, 6, kBmp, "BMP"));
    builder.Resource("BITMAP", kBitmapOnly, Solid(5, 3, kBmp, "BMP"));
    builder.Resource("IMAGE", kCorrupt, Solid(8, 6, kPng).left(40));
    builder.Resource("IMAGE", kSecond, Solid(12, 4, kPng));
    fixtures_ = std::make_unique<mfc_test::FixtureModule>(builder);
  }
  void TearDown() override { fixtures_.reset(); }
  std::unique_ptr<mfc_test::FixtureModule> fixtures_;
};

QColor Pixel(const CImgBitmap& image) { return image.GetBitmap()->image().pixelColor(0, 0); }

TEST_F(ImgBitmap, ThePngComesFirstAndABitmapOnlyIdTakesTheBitmap) {
  CImgBitmap both;
  ASSERT_TRUE(both.LoadBitmapW(kBoth));
  ASSERT_NE(both.GetImage(), nullptr);
  EXPECT_FALSE(both.GetImage()->IsNull());
  EXPECT_EQ(both.GetBitmap(), both.GetImage()->GetBitmap());
  EXPECT_EQ(static_cast<void*>(both), both.GetBitmap());
  EXPECT_EQ(Pixel(both), kPng);
  BITMAP bm{};
  EXPECT_EQ(both.GetBitmap(&bm), static_cast<int>(sizeof(BITMAP)));
  EXPECT_EQ(bm.bmWidth, 8);
  EXPECT_EQ(bm.bmHeight, 6);

  CImgBitmap bitmapOnly;
  ASSERT_TRUE(bitmapOnly.LoadBitmapW(u"#60002"));
  EXPECT_EQ(bitmapOnly.GetImage(), nullptr);
  ASSERT_NE(bitmapOnly.GetBitmap(), nullptr);
  EXPECT_EQ(Pixel(bitmapOnly), kBmp);
  EXPECT_EQ(bitmapOnly.GetBitmap(&bm), static_cast<int>(sizeof(BITMAP)));
  EXPECT_EQ(bm.bmWidth, 5);

  // A PNG load drops the bitmap held before, so the accessors show the PNG.
  ASSERT_TRUE(bitmapOnly.LoadBitmapW(kSecond));
  EXPECT_EQ(Pixel(bitmapOnly), kPng);
  EXPECT_EQ(bitmapOnly.GetBitmap(&bm), static_cast<int>(sizeof(BITMAP)));
  EXPECT_EQ(bm.bmWidth, 12);
}

TEST_F(ImgBitmap, WhatDoesNotLoadLeavesAnEmptyObjectWhoseAccessorsGiveNullAndZero) {
  const struct Case {
    const WCHAR* name;
  } cases[] = {{MAKEINTRESOURCEW(kCorrupt)}, {MAKEINTRESOURCEW(kMissing)}, {u"#"}, {u"#70000"},
               {u"#12x"},                    {u"name"},                   {MAKEINTRESOURCEW(0)}};
  for (const Case& c : cases) {
    CImgBitmap image;
    ASSERT_TRUE(image.LoadBitmapW(kBoth));
    EXPECT_FALSE(image.LoadBitmapW(c.name));
    EXPECT_EQ(static_cast<void*>(image), nullptr);
    EXPECT_EQ(image.GetBitmap(), nullptr);
    BITMAP bm{};
    EXPECT_EQ(image.GetBitmap(&bm), 0);
    EXPECT_FALSE(image.DeleteObject());
  }
  CImgBitmap never;
  EXPECT_EQ(static_cast<void*>(never), nullptr);
  EXPECT_EQ(never.GetImage(), nullptr);
  BITMAP bm{};
  EXPECT_EQ(never.GetBitmap(&bm), 0);
  EXPECT_FALSE(never.DeleteObject());
}

TEST_F(ImgBitmap, DeleteObjectKeepsTheImageObjectForTheNextLoad) {
  CImgBitmap image;
  ASSERT_TRUE(image.LoadBitmapW(kBoth));
  CImage* held = image.GetImage();
  EXPECT_TRUE(image.DeleteObject());
  EXPECT_EQ(image.GetBitmap(), nullptr);
  EXPECT_EQ(image.GetImage(), held);
  ASSERT_TRUE(image.LoadBitmapW(kSecond));
  EXPECT_EQ(image.GetImage(), held);
  EXPECT_EQ(image.GetImage()->GetWidth(), 12);

  CImgBitmap bitmap;
  ASSERT_TRUE(bitmap.LoadBitmapW(kBitmapOnly));
  EXPECT_TRUE(bitmap.DeleteObject());
  EXPECT_EQ(bitmap.GetBitmap(), nullptr);
  EXPECT_FALSE(bitmap.DeleteObject());
}

TEST_F(ImgBitmap, CopiesShareThePictureAndACopyOutlivesItsOriginal) {
  auto original = std::make_unique<CImgBitmap>();
  ASSERT_TRUE(original->LoadBitmapW(kBoth));
  CImgBitmap copy(*original);
  CImgBitmap assigned;
  ASSERT_TRUE(assigned.LoadBitmapW(kBitmapOnly));
  assigned = *original;
  EXPECT_EQ(copy.GetBitmap(), original->GetBitmap());
  original.reset();
  ASSERT_NE(copy.GetBitmap(), nullptr);
  EXPECT_EQ(Pixel(copy), kPng);
  EXPECT_EQ(Pixel(assigned), kPng);
}

TEST_F(ImgBitmap, ThreadsLoadAndFreeAtOnce) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < 50; ++i) {
        CImgBitmap image;
        EXPECT_TRUE(image.LoadBitmapW((t + i) % 2 == 0 ? kBoth : kBitmapOnly));
        CImgBitmap copy(image);
        BITMAP bm{};
        EXPECT_NE(copy.GetBitmap(&bm), 0);
        EXPECT_TRUE(image.DeleteObject());
      }
    });
  }
  for (auto& thread : threads) thread.join();
}

}  // namespace

// The bundle reader on the fixture bundle: whole, every cut of it, and every
// header or tree byte flipped. It links the library's parts, as the reader is
// internal to it.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QString>
#include <cstdint>
#include <vector>

#include "resources/internal/rcc_reader.h"

namespace {

TEST(RccReader, EveryCutOrFlippedByteIsRefusedOrReadWithinBounds) {
  QFile file(TLX_FIXTURE_BUNDLE);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << TLX_FIXTURE_BUNDLE;
  const QByteArray good = file.readAll();
  std::vector<tlx::resources::BundleFile> files;
  QString error;
  ASSERT_TRUE(tlx::resources::ReadRccBundle(good, &files, &error)) << error.toStdString();
  EXPECT_FALSE(files.empty());
  // Each is refused or read within its bounds, never read past its end.
  for (qsizetype length = 0; length < good.size(); ++length) {
    EXPECT_FALSE(tlx::resources::ReadRccBundle(good.left(length), &files, &error)) << length;
  }
  uint32_t treeOffset = 0;
  for (int i = 0; i < 4; ++i) treeOffset = treeOffset << 8 | static_cast<unsigned char>(good[8 + i]);
  for (qsizetype at = 0; at < good.size(); ++at) {
    if (at >= 20 && at < treeOffset) continue;  // names and file bytes: any value is well-formed
    QByteArray damaged = good;
    damaged[at] = static_cast<char>(damaged[at] ^ 0xA5);
    tlx::resources::ReadRccBundle(damaged, &files, &error);
  }
}

}  // namespace

// Reads a Qt binary resource bundle (.rcc) into its files, checking every
// offset and length against the bundle before it is used, so a truncated or
// damaged bundle is refused instead of read past its end.
#pragma once

#include <QByteArray>
#include <QString>
#include <vector>

namespace tlx::resources {

struct BundleFile {
  QString path;  // below the bundle's root, '/'-separated, without a leading '/'
  QByteArray bytes;
};

// The bundle's files, in the order of its tree. false, with `error` saying
// what is wrong, for anything that is not a well-formed bundle of format
// version 1 to 3 (compressed files must use zlib).
bool ReadRccBundle(const QByteArray& bundle, std::vector<BundleFile>* files, QString* error);

}  // namespace tlx::resources

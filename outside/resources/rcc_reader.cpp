#include "resources/internal/rcc_reader.h"

#include <QtEndian>
#include <cstdint>

namespace tlx::resources {
namespace {

// The layout: a header {"qres", version, tree offset, data offset, names
// offset, [flags]} with big-endian fields; a tree of nodes {name offset,
// flags, then for a folder: child count, first child index; for a file:
// territory, language, data offset; from version 2 a modification time}; names
// {length, hash, UTF-16 units}; data {length, bytes}.
constexpr uint16_t kCompressed = 0x01;
constexpr uint16_t kDirectory = 0x02;
constexpr uint16_t kCompressedZstd = 0x04;
// Folders nest no deeper than this; a bundle of ours has two or three levels.
constexpr int kMaxDepth = 16;

class Reader {
 public:
  explicit Reader(const QByteArray& bundle) : bundle_(bundle) {}

  bool Read(std::vector<BundleFile>* files, QString* error) {
    if (bundle_.size() < 20 || !bundle_.startsWith("qres")) return Fail(error, "not a resource bundle");
    uint32_t version = 0;
    U32(4, &version);
    U32(8, &tree_);
    U32(12, &data_);
    U32(16, &names_);
    if (version < 1 || version > 3) return Fail(error, "unknown bundle format version");
    nodeSize_ = version >= 2 ? 22 : 14;
    if (tree_ >= Size()) return Fail(error, "tree outside the bundle");
    nodeCount_ = (Size() - tree_) / nodeSize_;
    uint16_t rootFlags = 0;
    if (nodeCount_ == 0 || !U16(tree_ + 4, &rootFlags) || (rootFlags & kDirectory) == 0) {
      return Fail(error, "bundle without a root folder");
    }
    if (!Folder(0, QString(), 0, files)) return Fail(error, problem_);
    return true;
  }

 private:
  uint64_t Size() const { return static_cast<uint64_t>(bundle_.size()); }
  bool U16(uint64_t at, uint16_t* value) const {
    if (at + 2 > Size()) return false;
    *value = qFromBigEndian<uint16_t>(bundle_.constData() + at);
    return true;
  }
  bool U32(uint64_t at, uint32_t* value) const {
    if (at + 4 > Size()) return false;
    *value = qFromBigEndian<uint32_t>(bundle_.constData() + at);
    return true;
  }
  static bool Fail(QString* error, const QString& text) {
    if (error != nullptr) *error = text;
    return false;
  }
  bool Problem(const char* text) {
    problem_ = QString::fromLatin1(text);
    return false;
  }

  bool Name(uint32_t offset, QString* name) {
    const uint64_t at = static_cast<uint64_t>(names_) + offset;
    uint16_t length = 0;
    if (!U16(at, &length) || at + 6 + 2ull * length > Size()) return Problem("name outside the bundle");
    name->resize(length);
    for (uint16_t i = 0; i < length; ++i) {
      (*name)[i] = QChar(qFromBigEndian<uint16_t>(bundle_.constData() + at + 6 + 2ull * i));
    }
    if (name->isEmpty() || name->contains(u'/') || *name == u"." || *name == u"..") return Problem("bad name");
    return true;
  }

  // Adds the files below folder `index`; children always follow their folder,
  // so no damaged bundle can lead the walk round in a circle.
  bool Folder(uint32_t index, const QString& path, int depth, std::vector<BundleFile>* files) {
    if (depth > kMaxDepth) return Problem("folders nested too deep");
    const uint64_t node = tree_ + static_cast<uint64_t>(index) * nodeSize_;
    uint32_t count = 0;
    uint32_t first = 0;
    if (!U32(node + 6, &count) || !U32(node + 10, &first)) return Problem("folder outside the bundle");
    if (count > 0 && (first <= index || first > nodeCount_ || count > nodeCount_ - first)) {
      return Problem("folder's children outside the tree");
    }
    for (uint32_t child = first; child < first + count; ++child) {
      // Folders that share children could make the walk grow without end.
      if (++visited_ > nodeCount_) return Problem("tree visits a node twice");
      const uint64_t at = tree_ + static_cast<uint64_t>(child) * nodeSize_;
      uint32_t nameOffset = 0;
      uint16_t flags = 0;
      QString name;
      if (!U32(at, &nameOffset) || !U16(at + 4, &flags) || !Name(nameOffset, &name)) return false;
      const QString childPath = path.isEmpty() ? name : path + u'/' + name;
      if (flags & kDirectory) {
        if (!Folder(child, childPath, depth + 1, files)) return false;
      } else if (!File(at, flags, childPath, files)) {
        return false;
      }
    }
    return true;
  }

  bool File(uint64_t node, uint16_t flags, const QString& path, std::vector<BundleFile>* files) {
    uint32_t offset = 0;
    uint32_t length = 0;
    if (!U32(node + 10, &offset)) return Problem("file outside the bundle");
    const uint64_t at = static_cast<uint64_t>(data_) + offset;
    if (!U32(at, &length) || at + 4 + length > Size()) return Problem("file data outside the bundle");
    QByteArray bytes(bundle_.constData() + at + 4, length);
    if (flags & kCompressedZstd) return Problem("zstd-compressed file");
    if (flags & kCompressed) {
      if (bytes.size() < 4) return Problem("damaged compressed file");
      bytes = qUncompress(bytes);
      if (bytes.isEmpty() && length > 4) return Problem("damaged compressed file");
    }
    files->push_back(BundleFile{path, std::move(bytes)});
    return true;
  }

  const QByteArray& bundle_;
  uint32_t tree_ = 0;
  uint32_t data_ = 0;
  uint32_t names_ = 0;
  uint32_t nodeSize_ = 22;
  uint64_t nodeCount_ = 0;
  uint64_t visited_ = 0;
  QString problem_;
};

}  // namespace

bool ReadRccBundle(const QByteArray& bundle, std::vector<BundleFile>* files, QString* error) {
  std::vector<BundleFile> read;
  if (!Reader(bundle).Read(&read, error)) return false;
  *files = std::move(read);
  return true;
}

}  // namespace tlx::resources

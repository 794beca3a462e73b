// One resource module: a region bundle, a library's embedded bundle or a
// module built in memory. Resources are kept by (type, id) and language, the
// type folded to upper case; strings are the type "STRINGS", each entry the
// text in UTF-16 without a terminator.
#pragma once

#include <QByteArray>
#include <QString>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "resources/internal/rcc_reader.h"
#include "resources/tlx_pc_resource.h"

namespace tlx::resources {

inline constexpr LANGID kLanguageNeutral = 0;
inline constexpr LANGID kLanguageEnglishUs = 1033;

class Module {
 public:
  // Adds a resource; a second one with the same type, id and language
  // replaces the first.
  void Add(const QString& type, UINT id, LANGID language, QByteArray bytes);
  // Adds a string table: a JSON object of decimal ids and texts. Entries that
  // are not such a pair are left out; false when the table is not a JSON
  // object at all (then nothing is added).
  bool AddStringTable(const QByteArray& json, LANGID language);
  // The resource in `language`, else neutral, else 1033, else the lowest
  // language it has; null when the module has no (type, id). The bytes stay
  // where they are while the module lives.
  const QByteArray* Find(const QString& type, UINT id, LANGID language) const;

  // The module the bundle's files make: "strings/<lang>.json" tables and
  // "<TYPE>/[<lang>/]<id>.<ext>" resources. Files of any other shape, and
  // string tables that do not parse, are left out.
  static std::unique_ptr<Module> FromBundle(const std::vector<BundleFile>& files);

 private:
  std::map<std::pair<QString, UINT>, std::map<LANGID, QByteArray>> entries_;
};

// Loaded modules are handles; these make and check them.
HINSTANCE AdoptModule(std::unique_ptr<Module> module);
// The module behind a handle this library made, else null. The caller must
// not free the handle while using the module.
const Module* ModuleOf(HINSTANCE handle);
// Frees a module AdoptModule made; false for any other handle.
bool ReleaseModule(HINSTANCE handle);

}  // namespace tlx::resources

// An in-memory resource source for the tests: strings, dialog and menu
// templates and images registered by id.
#pragma once

#include <map>

#include "mfc/resources.h"

namespace mfc_test {

class FixtureResources : public tlx::mfc::ResourceSource {
 public:
  std::map<UINT, QString> strings;
  std::map<UINT, QByteArray> dialogs;
  std::map<UINT, QByteArray> menus;
  std::map<UINT, QImage> images;

  bool String(UINT id, QString* text) override { return Find(strings, id, text); }
  bool DialogTemplate(UINT id, QByteArray* json) override { return Find(dialogs, id, json); }
  bool MenuTemplate(UINT id, QByteArray* json) override { return Find(menus, id, json); }
  bool Image(UINT id, QImage* image) override { return Find(images, id, image); }

 private:
  template <typename Map, typename Value>
  static bool Find(const Map& map, UINT id, Value* value) {
    auto it = map.find(id);
    if (it == map.end()) return false;
    *value = it->second;
    return true;
  }
};

}  // namespace mfc_test

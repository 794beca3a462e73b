#include "dshow/filter_category.h"

#include <map>
#include <mutex>

namespace tlx::dshow {
namespace {

struct Categories {
  std::mutex lock;
  std::map<GUID, std::vector<CategoryEntry>> entries;
};

Categories& TheCategories() {
  static auto* categories = new Categories();
  return *categories;
}

}  // namespace

HRESULT RegisterCategoryEntry(REFGUID category, const CategoryEntry& entry) {
  Categories& c = TheCategories();
  std::lock_guard lock(c.lock);
  auto& list = c.entries[category];
  for (CategoryEntry& existing : list) {
    if (existing.clsid == entry.clsid) {
      existing = entry;
      return S_OK;
    }
  }
  list.push_back(entry);
  return S_OK;
}

HRESULT UnregisterCategoryEntry(REFGUID category, REFCLSID clsid) {
  Categories& c = TheCategories();
  std::lock_guard lock(c.lock);
  auto it = c.entries.find(category);
  if (it == c.entries.end()) return S_FALSE;
  auto& list = it->second;
  for (auto entry = list.begin(); entry != list.end(); ++entry) {
    if (entry->clsid == clsid) {
      list.erase(entry);
      return S_OK;
    }
  }
  return S_FALSE;
}

std::vector<CategoryEntry> CategoryEntries(REFGUID category) {
  Categories& c = TheCategories();
  std::lock_guard lock(c.lock);
  auto it = c.entries.find(category);
  return it == c.entries.end() ? std::vector<CategoryEntry>() : it->second;
}

HRESULT RegisterFilterSetup(const AMOVIESETUP_FILTER& setup) {
  if (setup.clsID == nullptr) return E_POINTER;
  return RegisterCategoryEntry(CLSID_LegacyAmFilterCategory,
                               {*setup.clsID, setup.strName != nullptr ? setup.strName : u"", setup.dwMerit});
}

HRESULT UnregisterFilterSetup(REFCLSID clsid) { return UnregisterCategoryEntry(CLSID_LegacyAmFilterCategory, clsid); }

}  // namespace tlx::dshow

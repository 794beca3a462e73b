// The process's filter categories: which classes are registered in a
// category, under which friendly name and merit, in registration order.
#pragma once

#include <string>
#include <vector>

#include "dshow/interfaces.h"

namespace tlx::dshow {

struct CategoryEntry {
  CLSID clsid;
  std::u16string friendlyName;
  DWORD merit;
};

// Adds the filter to `category` (the legacy filter category by default);
// registering a class again replaces its entry in place.
HRESULT RegisterCategoryEntry(REFGUID category, const CategoryEntry& entry);
HRESULT UnregisterCategoryEntry(REFGUID category, REFCLSID clsid);
std::vector<CategoryEntry> CategoryEntries(REFGUID category);

// The legacy filter category entry of a filter's setup data.
HRESULT RegisterFilterSetup(const AMOVIESETUP_FILTER& setup);
HRESULT UnregisterFilterSetup(REFCLSID clsid);

}  // namespace tlx::dshow

// Internal: an enumerator over a list taken when it was made (the graph's
// filters, a category's entries). `Hand` gives out one item with a reference.
#pragma once

#include <vector>

#include "com/counted.h"

namespace tlx::dshow {

template <typename Interface, typename Element, typename Item, const IID& kIid, Element* (*Hand)(const Item&)>
class SnapshotEnum final : public com::Counted<Interface> {
 public:
  explicit SnapshotEnum(std::vector<Item> items, size_t position = 0)
      : items_(std::move(items)), position_(position) {}

  HRESULT QueryInterface(REFIID iid, void** object) override { return this->Answer(iid, kIid, object); }

  HRESULT Next(ULONG count, Element** elements, ULONG* fetched) override {
    if (elements == nullptr) return E_POINTER;
    if (fetched == nullptr && count > 1) return E_INVALIDARG;
    ULONG got = 0;
    while (got < count && position_ < items_.size()) elements[got++] = Hand(items_[position_++]);
    if (fetched != nullptr) *fetched = got;
    return got == count ? S_OK : S_FALSE;
  }
  HRESULT Skip(ULONG count) override {
    if (position_ + count > items_.size()) {
      position_ = items_.size();
      return S_FALSE;
    }
    position_ += count;
    return S_OK;
  }
  HRESULT Reset() override {
    position_ = 0;
    return S_OK;
  }
  HRESULT Clone(Interface** clone) override {
    if (clone == nullptr) return E_POINTER;
    *clone = new SnapshotEnum(items_, position_);
    return S_OK;
  }

 private:
  std::vector<Item> items_;
  size_t position_;
};

}  // namespace tlx::dshow

// The system device enumerator (CLSID_SystemDeviceEnum): one moniker per
// entry of a category, in registration order, each with a property bag that
// holds the entry's friendly name and class.
#include "dshow/device_enum.h"

#include <vector>

#include "com/class_registry.h"
#include "com/com_ptr.h"
#include "dshow/filter_category.h"

namespace tlx::dshow {
namespace {

// Counted like every small object of this file.
template <typename Interface>
class Counted : public Interface {
 public:
  ULONG AddRef() override { return static_cast<ULONG>(++ref_); }
  ULONG Release() override {
    LONG count = --ref_;
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
  }

 protected:
  virtual ~Counted() = default;
  HRESULT Answer(REFIID iid, REFIID own, void** object) {
    if (object == nullptr) return E_POINTER;
    if (iid == IID_IUnknown || iid == own) return GetInterface(static_cast<Interface*>(this), object);
    *object = nullptr;
    return E_NOINTERFACE;
  }

 private:
  std::atomic<LONG> ref_{1};
};

class PropertyBag final : public Counted<IPropertyBag> {
 public:
  explicit PropertyBag(CategoryEntry entry) : entry_(std::move(entry)) {}
  HRESULT QueryInterface(REFIID iid, void** object) override { return Answer(iid, IID_IPropertyBag, object); }

  HRESULT Read(LPCOLESTR name, VARIANT* value, IErrorLog*) override {
    if (name == nullptr || value == nullptr) return E_POINTER;
    std::u16string key(name);
    std::u16string text;
    if (key == u"FriendlyName") {
      text = entry_.friendlyName;
    } else if (key == u"CLSID") {
      std::string braced = GuidToString(entry_.clsid);
      text.assign(braced.begin(), braced.end());
    } else {
      return E_INVALIDARG;
    }
    if (value->vt != VT_EMPTY && value->vt != VT_BSTR) return DISP_E_TYPEMISMATCH;
    VariantClear(value);
    value->vt = VT_BSTR;
    value->bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return value->bstrVal != nullptr ? S_OK : E_OUTOFMEMORY;
  }

  HRESULT Write(LPCOLESTR, VARIANT*) override { return E_ACCESSDENIED; }

 private:
  CategoryEntry entry_;
};

class Moniker final : public Counted<IMoniker> {
 public:
  explicit Moniker(CategoryEntry entry) : entry_(std::move(entry)) {}
  HRESULT QueryInterface(REFIID iid, void** object) override { return Answer(iid, IID_IMoniker, object); }

  // Creates the entry's filter.
  HRESULT BindToObject(IBindCtx*, IMoniker*, REFIID iid, void** object) override {
    return CoCreateInstance(entry_.clsid, nullptr, CLSCTX_INPROC_SERVER, iid, object);
  }

  HRESULT BindToStorage(IBindCtx*, IMoniker*, REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (iid != IID_IPropertyBag) return E_NOINTERFACE;
    *object = static_cast<IPropertyBag*>(new PropertyBag(entry_));
    return S_OK;
  }

 private:
  CategoryEntry entry_;
};

class EnumMoniker final : public Counted<IEnumMoniker> {
 public:
  EnumMoniker(std::vector<CategoryEntry> entries, size_t position)
      : entries_(std::move(entries)), position_(position) {}
  HRESULT QueryInterface(REFIID iid, void** object) override { return Answer(iid, IID_IEnumMoniker, object); }

  HRESULT Next(ULONG count, IMoniker** monikers, ULONG* fetched) override {
    if (monikers == nullptr) return E_POINTER;
    if (fetched == nullptr && count > 1) return E_INVALIDARG;
    ULONG got = 0;
    while (got < count && position_ < entries_.size()) monikers[got++] = new Moniker(entries_[position_++]);
    if (fetched != nullptr) *fetched = got;
    return got == count ? S_OK : S_FALSE;
  }
  HRESULT Skip(ULONG count) override {
    if (position_ + count > entries_.size()) {
      position_ = entries_.size();
      return S_FALSE;
    }
    position_ += count;
    return S_OK;
  }
  HRESULT Reset() override {
    position_ = 0;
    return S_OK;
  }
  HRESULT Clone(IEnumMoniker** clone) override {
    if (clone == nullptr) return E_POINTER;
    *clone = new EnumMoniker(entries_, position_);
    return S_OK;
  }

 private:
  std::vector<CategoryEntry> entries_;
  size_t position_;
};

class DeviceEnumerator final : public CUnknown, public ICreateDevEnum {
 public:
  explicit DeviceEnumerator(IUnknown* outer) : CUnknown("device enumerator", outer) {}
  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override {
    if (iid == IID_ICreateDevEnum) return GetInterface(static_cast<ICreateDevEnum*>(this), object);
    return CUnknown::NonDelegatingQueryInterface(iid, object);
  }

  HRESULT CreateClassEnumerator(REFCLSID category, IEnumMoniker** monikers, DWORD) override {
    if (monikers == nullptr) return E_POINTER;
    *monikers = nullptr;
    std::vector<CategoryEntry> entries = CategoryEntries(category);
    if (entries.empty()) return S_FALSE;
    *monikers = new EnumMoniker(std::move(entries), 0);
    return S_OK;
  }
};

}  // namespace

CUnknown* CreateDeviceEnumerator(IUnknown* outer, HRESULT*) { return new DeviceEnumerator(outer); }

}  // namespace tlx::dshow

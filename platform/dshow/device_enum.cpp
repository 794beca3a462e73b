// The system device enumerator (CLSID_SystemDeviceEnum): one moniker per
// entry of a category, in registration order, each with a property bag that
// holds the entry's friendly name and class.
#include "dshow/internal/device_enum.h"

#include <vector>

#include "com/class_registry.h"
#include "com/com_ptr.h"
#include "com/counted.h"
#include "dshow/filter_category.h"
#include "dshow/internal/snapshot_enum.h"

namespace tlx::dshow {
namespace {

using com::Counted;

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

IMoniker* HandMoniker(const CategoryEntry& entry) { return new Moniker(entry); }
using EnumMoniker = SnapshotEnum<IEnumMoniker, IMoniker, CategoryEntry, IID_IEnumMoniker, HandMoniker>;

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
    *monikers = new EnumMoniker(std::move(entries));
    return S_OK;
  }
};

}  // namespace

CUnknown* CreateDeviceEnumerator(IUnknown* outer, HRESULT*) { return new DeviceEnumerator(outer); }

}  // namespace tlx::dshow

#include "dshow/factory_template.h"


#include "com/class_registry.h"
#include "com/counted.h"
#include "dshow/filter_category.h"
#include "dshow/filter_module.h"

namespace tlx::dshow {
namespace {

// The class object of one template. It counts as an object of its module,
// so the module stays while anyone holds it.
class CClassFactory final : public CBaseObject, public com::Counted<IClassFactory> {
 public:
  CClassFactory(const CFactoryTemplate* templ, com::ModuleObjects* module)
      : CBaseObject("class factory"), template_(templ), module_(module) {}

  HRESULT QueryInterface(REFIID iid, void** object) override { return Answer(iid, IID_IClassFactory, object); }

  HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (outer != nullptr && iid != IID_IUnknown) return CLASS_E_NOAGGREGATION;
    com::ModuleScope scope(module_);
    HRESULT hr = S_OK;
    CUnknown* created = template_->CreateInstance(outer, &hr);
    if (created == nullptr) return FAILED(hr) ? hr : E_OUTOFMEMORY;
    created->NonDelegatingAddRef();
    if (SUCCEEDED(hr)) hr = created->NonDelegatingQueryInterface(iid, object);
    created->NonDelegatingRelease();
    return hr;
  }

  HRESULT LockServer(BOOL lock) override {
    if (module_ != nullptr) module_->locks += lock ? 1 : -1;
    return S_OK;
  }

 private:
  const CFactoryTemplate* template_;
  com::ModuleObjects* module_;
};

}  // namespace

HRESULT TemplateGetClassObject(const CFactoryTemplate* templates, int count, com::ModuleObjects* module,
                               REFCLSID clsid, REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (iid != IID_IUnknown && iid != IID_IClassFactory) return E_NOINTERFACE;
  for (int i = 0; i < count; ++i) {
    if (templates[i].IsClassID(clsid)) {
      com::ModuleScope scope(module);
      *object = static_cast<IClassFactory*>(new CClassFactory(&templates[i], module));
      return S_OK;
    }
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT TemplateRegisterServer(const CFactoryTemplate* templates, int count, bool registering) {
  for (int i = 0; i < count; ++i) {
    const CFactoryTemplate& t = templates[i];
    HRESULT hr = registering ? RegisterServerClass(*t.m_ClsID) : UnregisterServerClass(*t.m_ClsID);
    if (FAILED(hr)) return hr;
    if (t.m_pAMovieSetup_Filter != nullptr) {
      hr = registering ? RegisterFilterSetup(*t.m_pAMovieSetup_Filter) : UnregisterFilterSetup(*t.m_ClsID);
      if (FAILED(hr)) return hr;
    }
  }
  return S_OK;
}

void TemplateInitRoutines(const CFactoryTemplate* templates, int count, BOOL loading) {
  for (int i = 0; i < count; ++i) {
    if (templates[i].m_lpfnInit != nullptr) templates[i].m_lpfnInit(loading, templates[i].m_ClsID);
  }
}

}  // namespace tlx::dshow

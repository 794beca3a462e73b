#include "com/unknown_base.h"

namespace tlx::com {
namespace {
thread_local ModuleObjects* t_module = nullptr;
std::atomic<LONG> g_objects{0};
}  // namespace

ModuleScope::ModuleScope(ModuleObjects* module) : previous_(t_module) { t_module = module; }
ModuleScope::~ModuleScope() { t_module = previous_; }

}  // namespace tlx::com

using namespace tlx::com;

CBaseObject::CBaseObject(const char*) : module_(t_module) {
  g_objects.fetch_add(1);
  if (module_ != nullptr) module_->objects.fetch_add(1);
}

CBaseObject::~CBaseObject() {
  if (module_ != nullptr) module_->objects.fetch_sub(1);
  g_objects.fetch_sub(1);
}

LONG CBaseObject::ObjectsActive() { return g_objects.load(); }

CUnknown::CUnknown(const char* name, IUnknown* outer, HRESULT*)
    : CBaseObject(name), owner_(outer != nullptr ? outer : &inner_) {}

HRESULT CUnknown::NonDelegatingQueryInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (iid == IID_IUnknown) return GetInterface(&inner_, object);
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG CUnknown::NonDelegatingAddRef() { return static_cast<ULONG>(m_cRef.fetch_add(1) + 1); }

ULONG CUnknown::NonDelegatingRelease() {
  LONG count = m_cRef.fetch_sub(1) - 1;
  if (count == 0) {
    // A destructor that hands this object out and releases it again must not
    // delete it a second time.
    m_cRef.store(1);
    delete this;
    return 0;
  }
  return static_cast<ULONG>(count > 0 ? count : 1);
}

HRESULT GetInterface(IUnknown* unknown, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = unknown;
  unknown->AddRef();
  return S_OK;
}

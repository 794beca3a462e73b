#include "com/class_registry.h"

#include <cstdlib>
#include <mutex>
#include <unordered_map>

namespace tlx::com {
namespace {

struct Registry {
  std::mutex lock;
  std::unordered_map<CLSID, ClassObjectGetter> classes;
};

Registry& TheRegistry() {
  // Never destroyed: libraries that unload late may still unregister.
  static auto* registry = new Registry();
  return *registry;
}

}  // namespace

void RegisterClassObject(REFCLSID clsid, ClassObjectGetter getter) {
  Registry& r = TheRegistry();
  std::lock_guard lock(r.lock);
  r.classes[clsid] = std::move(getter);
}

bool UnregisterClassObject(REFCLSID clsid) {
  Registry& r = TheRegistry();
  std::lock_guard lock(r.lock);
  return r.classes.erase(clsid) != 0;
}

bool IsClassRegistered(REFCLSID clsid) {
  Registry& r = TheRegistry();
  std::lock_guard lock(r.lock);
  return r.classes.contains(clsid);
}

}  // namespace tlx::com

using namespace tlx::com;

HRESULT CoInitialize(void*) { return S_OK; }
HRESULT CoInitializeEx(void*, DWORD) { return S_OK; }
void CoUninitialize() {}

HRESULT CoGetClassObject(REFCLSID clsid, DWORD, void*, REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  ClassObjectGetter getter;
  {
    Registry& r = TheRegistry();
    std::lock_guard lock(r.lock);
    auto it = r.classes.find(clsid);
    if (it == r.classes.end()) return REGDB_E_CLASSNOTREG;
    getter = it->second;  // called outside the lock: it may load a module
  }
  return getter(clsid, iid, object);
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  // An aggregated object hands its outer object only its own IUnknown.
  if (outer != nullptr && iid != IID_IUnknown) return CLASS_E_NOAGGREGATION;
  IClassFactory* factory = nullptr;
  HRESULT hr = CoGetClassObject(clsid, context, nullptr, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  if (FAILED(hr)) return hr;
  hr = factory->CreateInstance(outer, iid, object);
  factory->Release();
  if (FAILED(hr)) *object = nullptr;
  return hr;
}

void* CoTaskMemAlloc(size_t size) { return std::malloc(size == 0 ? 1 : size); }
void* CoTaskMemRealloc(void* block, size_t size) { return std::realloc(block, size == 0 ? 1 : size); }
void CoTaskMemFree(void* block) { std::free(block); }

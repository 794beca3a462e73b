#include "dshow/filter_module.h"

#include <map>
#include <memory>
#include <mutex>

#include "com/class_registry.h"
#include "win32/modules.h"
#include "win32/synch.h"

namespace tlx::dshow {
namespace {

struct FilterModule {
  std::string path;
  std::mutex lock;
  HMODULE handle = nullptr;
  LPFNGETCLASSOBJECT getClassObject = nullptr;
  LPFNCANUNLOADNOW canUnloadNow = nullptr;

  // Under `lock`.
  HRESULT EnsureLoaded() {
    if (handle != nullptr) return S_OK;
    HMODULE h = LoadLibraryA(path.c_str());
    if (h == nullptr) return HRESULT_FROM_WIN32(GetLastError());
    auto get = reinterpret_cast<LPFNGETCLASSOBJECT>(GetProcAddress(h, kDllGetClassObjectName));
    auto can = reinterpret_cast<LPFNCANUNLOADNOW>(GetProcAddress(h, kDllCanUnloadNowName));
    if (get == nullptr) {
      FreeLibrary(h);
      return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
    }
    handle = h;
    getClassObject = get;
    canUnloadNow = can;
    return S_OK;
  }

  // Under `lock`. A module without DllCanUnloadNow stays.
  void UnloadIfUnused() {
    if (handle == nullptr || canUnloadNow == nullptr || canUnloadNow() != S_OK) return;
    FreeLibrary(handle);
    handle = nullptr;
    getClassObject = nullptr;
    canUnloadNow = nullptr;
  }
};

struct Modules {
  std::mutex lock;
  std::map<std::string, std::shared_ptr<FilterModule>> byPath;
};

Modules& TheModules() {
  static auto* modules = new Modules();
  return *modules;
}

std::shared_ptr<FilterModule> ModuleFor(const std::string& path) {
  Modules& m = TheModules();
  std::lock_guard lock(m.lock);
  auto& module = m.byPath[path];
  if (!module) {
    module = std::make_shared<FilterModule>();
    module->path = path;
  }
  return module;
}

// The module whose registration entry runs on this thread.
thread_local FilterModule* t_registering = nullptr;

HRESULT RunRegistrationEntry(const std::string& path, const char* entryName) {
  std::shared_ptr<FilterModule> module = ModuleFor(path);
  std::lock_guard lock(module->lock);
  HRESULT hr = module->EnsureLoaded();
  if (FAILED(hr)) return hr;
  auto entry = reinterpret_cast<LPFNREGISTERSERVER>(GetProcAddress(module->handle, entryName));
  if (entry == nullptr) {
    module->UnloadIfUnused();
    return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
  }
  t_registering = module.get();
  hr = entry();
  t_registering = nullptr;
  return hr;
}

}  // namespace

HRESULT RegisterFilterModule(const std::string& path) { return RunRegistrationEntry(path, kDllRegisterServerName); }

HRESULT UnregisterFilterModule(const std::string& path) {
  return RunRegistrationEntry(path, kDllUnregisterServerName);
}

HRESULT RegisterServerClass(REFCLSID clsid) {
  FilterModule* registering = t_registering;
  if (registering == nullptr) return E_UNEXPECTED;
  std::shared_ptr<FilterModule> module = ModuleFor(registering->path);
  com::RegisterClassObject(clsid, [module](REFCLSID c, REFIID iid, void** object) {
    // Under the module's lock, so it cannot be unloaded in between; the
    // class object then counts as one of its objects.
    std::lock_guard lock(module->lock);
    HRESULT hr = module->EnsureLoaded();
    if (FAILED(hr)) return hr;
    return module->getClassObject(c, iid, object);
  });
  return S_OK;
}

HRESULT UnregisterServerClass(REFCLSID clsid) {
  if (t_registering == nullptr) return E_UNEXPECTED;
  com::UnregisterClassObject(clsid);
  return S_OK;
}

void FreeUnusedFilterModules() {
  std::vector<std::shared_ptr<FilterModule>> modules;
  {
    Modules& m = TheModules();
    std::lock_guard lock(m.lock);
    for (auto& [path, module] : m.byPath) modules.push_back(module);
  }
  for (auto& module : modules) {
    std::lock_guard lock(module->lock);
    module->UnloadIfUnused();
  }
}

bool IsFilterModuleLoaded(const std::string& path) {
  std::shared_ptr<FilterModule> module = ModuleFor(path);
  std::lock_guard lock(module->lock);
  return module->handle != nullptr;
}

}  // namespace tlx::dshow

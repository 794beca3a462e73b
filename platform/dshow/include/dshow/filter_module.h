// Filter modules loaded from files through the Windows layer's module loader,
// which finds a name as LoadLibrary does. Registering a module loads it and
// runs its registration entry, which adds its classes to the process's class
// registry (created through the module's DllGetClassObject) and its filters to
// the filter category. A module is unloaded only when it reports that the last
// object it made is gone, and loaded again when one of its classes is created.
#pragma once

#include <string>

#include "com/unknown.h"

namespace tlx::dshow {

HRESULT RegisterFilterModule(const std::string& path);
// Runs the module's unregistration entry and forgets its classes.
HRESULT UnregisterFilterModule(const std::string& path);

// For the registration entry of the module being registered: binds a class
// to it. E_UNEXPECTED outside a registration.
HRESULT RegisterServerClass(REFCLSID clsid);
HRESULT UnregisterServerClass(REFCLSID clsid);

// Unloads every loaded module whose DllCanUnloadNow answers S_OK.
void FreeUnusedFilterModules();
bool IsFilterModuleLoaded(const std::string& path);

}  // namespace tlx::dshow

// The process's class registry and object creation over it.
//
// A class is registered with the function that hands out its class object; a
// component module registers its classes from its registration entry, built-in
// classes when their library loads. Every function here is thread-safe.
#pragma once

#include <functional>

#include "com/unknown.h"

// Initialization is per process here and needs no pairing: both are no-ops.
HRESULT CoInitialize(void* reserved);
HRESULT CoInitializeEx(void* reserved, DWORD flags);
void CoUninitialize();

// REGDB_E_CLASSNOTREG for an unknown class; otherwise what the class object's
// getter returns.
HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, void* reserved, REFIID iid, void** object);
// Through the class's IClassFactory; *object is null on every failure.
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid, void** object);

// Task memory: blocks that one component allocates and another frees.
void* CoTaskMemAlloc(size_t size);
void* CoTaskMemRealloc(void* block, size_t size);
void CoTaskMemFree(void* block);

namespace tlx::com {

using ClassObjectGetter = std::function<HRESULT(REFCLSID clsid, REFIID iid, void** object)>;

// Adds or replaces the class; the getter may be called from any thread.
void RegisterClassObject(REFCLSID clsid, ClassObjectGetter getter);
// False when the class was not registered.
bool UnregisterClassObject(REFCLSID clsid);
bool IsClassRegistered(REFCLSID clsid);

}  // namespace tlx::com

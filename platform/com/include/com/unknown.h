// IUnknown and IClassFactory, with the declaration macros the components are
// written with. Interfaces are plain C++ abstract classes: there is no binary
// compatibility with any other COM.
#pragma once

#include "com/guid.h"
#include "com/hresult.h"
#include "win32/types.h"

#define STDMETHODCALLTYPE
#define STDMETHOD(method) virtual HRESULT method
#define STDMETHOD_(type, method) virtual type method
#define STDMETHODIMP HRESULT
#define STDMETHODIMP_(type) type
#define PURE = 0

// IUnknown {00000000-0000-0000-C000-000000000046}
inline constexpr IID IID_IUnknown{0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
// IClassFactory {00000001-0000-0000-C000-000000000046}
inline constexpr IID IID_IClassFactory{0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

struct IUnknown {
  STDMETHOD(QueryInterface)(REFIID iid, void** object) PURE;
  STDMETHOD_(ULONG, AddRef)() PURE;
  STDMETHOD_(ULONG, Release)() PURE;

 protected:
  ~IUnknown() = default;
};
using LPUNKNOWN = IUnknown*;

struct IClassFactory : IUnknown {
  STDMETHOD(CreateInstance)(IUnknown* outer, REFIID iid, void** object) PURE;
  STDMETHOD(LockServer)(BOOL lock) PURE;

 protected:
  ~IClassFactory() = default;
};

// Contexts of CoCreateInstance. Every class of this layer lives in the process.
inline constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
inline constexpr DWORD CLSCTX_INPROC_HANDLER = 0x2;
inline constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
inline constexpr DWORD CLSCTX_INPROC = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER;
inline constexpr DWORD CLSCTX_ALL = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER;

inline constexpr DWORD COINIT_MULTITHREADED = 0x0;
inline constexpr DWORD COINIT_APARTMENTTHREADED = 0x2;

// The entry every component module exports with C linkage under this name:
//   extern "C" HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** object);
using LPFNGETCLASSOBJECT = HRESULT (*)(REFCLSID clsid, REFIID iid, void** object);
// Its companions: S_OK when no object of the module is alive and nothing holds
// its server lock; and the registration entry that adds the module's classes
// to the process (and its filters to their category).
using LPFNCANUNLOADNOW = HRESULT (*)();
using LPFNREGISTERSERVER = HRESULT (*)();
inline constexpr const char* kDllGetClassObjectName = "DllGetClassObject";
inline constexpr const char* kDllCanUnloadNowName = "DllCanUnloadNow";
inline constexpr const char* kDllRegisterServerName = "DllRegisterServer";
inline constexpr const char* kDllUnregisterServerName = "DllUnregisterServer";

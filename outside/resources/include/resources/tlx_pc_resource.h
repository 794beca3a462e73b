// The region resource library: strings, dialog and menu templates, bitmaps,
// images, icons and data tables, looked up by identifier through the
// process's resource chain.
//
// A module is a bundle of resources: the region's bundle file (loaded by the
// name the region table gives), a library's bundle built into it, or one made
// in memory (ModuleBuilder). A lookup by identifier goes through the chain:
// the current resource handle (AfxSetResourceHandle; the shell sets it to the
// region's module), then the libraries' modules in the order they were
// registered (the common library, then the shell). Each type is its own name
// space: string 21128 and data table 21128 are two resources.
//
// Within a module a resource is taken in the UI language, else in its neutral
// form, else in English (1033), else in any language it has. The UI language
// is that of the locale when it is one of 1028 (zh_TW), 1031 (de), 1033 (en),
// 1036 (fr), 1041 (ja), 1042 (ko) and 2057 (en_GB), else 1033; $TLX_UI_LANGUAGE
// (a decimal language id) overrides it.
//
// Every function may be called from any thread.
#pragma once

#include <cstddef>
#include <cstdint>

#include "win32/types.h"

using LANGID = uint16_t;
using HRSRC = const void*;
using HGLOBAL = const void*;

// A resource name or type given by number, as Windows passes them.
inline LPCSTR MAKEINTRESOURCEA(UINT id) { return reinterpret_cast<LPCSTR>(static_cast<uintptr_t>(id & 0xFFFF)); }
inline LPCSTR MAKEINTRESOURCE(UINT id) { return MAKEINTRESOURCEA(id); }
inline bool IS_INTRESOURCE(LPCSTR name) { return (reinterpret_cast<uintptr_t>(name) >> 16) == 0; }

// The standard types this library keeps (others are refused); any other type
// is given by its name, as "TLXPC_RCN_SET_FILE".
inline const LPCSTR RT_BITMAP = MAKEINTRESOURCEA(2);
inline const LPCSTR RT_ICON = MAKEINTRESOURCEA(3);
inline const LPCSTR RT_MENU = MAKEINTRESOURCEA(4);
inline const LPCSTR RT_DIALOG = MAKEINTRESOURCEA(5);
inline const LPCSTR RT_STRING = MAKEINTRESOURCEA(6);
inline const LPCSTR RT_RCDATA = MAKEINTRESOURCEA(10);

// Loads a region's module by the file name the region table gives: the name
// with its extension replaced by ".rcc" ("TlxPcResourceJP.dll" ->
// "TlxPcResourceJP.rcc"), looked for in $TLX_RESOURCE_DIR, then in the
// executable's folder. Null when there is no such file or it is not a
// well-formed bundle; a malformed entry inside a good bundle only fails the
// lookups of that entry.
HINSTANCE TlxPcLoadResourceLibrary(const char* fileName);
// Loads a module from a bundle held in memory (a library's built-in bundle).
// The bytes are copied. Null when they are not a well-formed bundle.
HINSTANCE TlxPcLoadResourceBundle(const void* bundle, size_t size);
// Appends a library's module to the chain, after those registered before.
void TlxPcRegisterLibraryResources(HINSTANCE module);
// Takes the module out of the chain and frees it; its resources' bytes are
// gone from then on. FALSE for a handle this library did not make.
BOOL TlxPcFreeResourceLibrary(HINSTANCE module);
// The UI language, as described above.
LANGID TlxPcGetUiLanguage();

void AfxSetResourceHandle(HINSTANCE module);
HINSTANCE AfxGetResourceHandle();
// The first module of the chain that has the resource; null when none has.
HINSTANCE AfxFindResourceHandle(LPCSTR name, LPCSTR type);
HINSTANCE AfxFindStringResourceHandle(UINT id);

// Finds a resource of the module; null when it has none or the handle or the
// type is not one of this library's.
HRSRC FindResourceA(HMODULE module, LPCSTR name, LPCSTR type);
inline HRSRC FindResource(HMODULE module, LPCSTR name, LPCSTR type) { return FindResourceA(module, name, type); }
HGLOBAL LoadResource(HMODULE module, HRSRC resource);
DWORD SizeofResource(HMODULE module, HRSRC resource);
// The resource's bytes, valid while the module is loaded.
const void* LockResource(HGLOBAL resource);

// Copies string `id` of the module into `buffer`, cut to fit `bufferMax`
// units with the terminating zero; returns the units copied without it, 0
// when the module has no such string.
int LoadStringW(HINSTANCE module, UINT id, WCHAR* buffer, int bufferMax);
inline int LoadString(HINSTANCE module, UINT id, WCHAR* buffer, int bufferMax) {
  return LoadStringW(module, id, buffer, bufferMax);
}

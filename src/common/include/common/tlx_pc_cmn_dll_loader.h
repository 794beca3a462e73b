// CTlxPcCmnDllLoader: holds one module loaded at run time (the window layer's
// LoadLibraryW: the file by its path, or a bare name searched in
// $TLX_MODULE_PATH, the executable's folder and the current directory).
//
// Copies share the module: each copy keeps it loaded, and the last holder to
// let it go (Unload, destruction or assignment) frees it, so a copy may outlive
// the object it was copied from. The current directory is never changed; the
// libraries a module depends on are found through its own run path.
//
// Derived holders (plug-in loaders) override Load and Unload; both are called
// through the base.
#pragma once

#include <memory>

#include "win32/modules.h"
#include "win32/types.h"

class CTlxPcCmnDllLoader {
 public:
  CTlxPcCmnDllLoader() = default;
  CTlxPcCmnDllLoader(const CTlxPcCmnDllLoader&) = default;
  CTlxPcCmnDllLoader& operator=(const CTlxPcCmnDllLoader&) = default;
  virtual ~CTlxPcCmnDllLoader();

  // Loads the module. False for a null path or when it cannot be loaded (the
  // reason goes to the log); true at once, keeping the module, when one is
  // held already.
  virtual bool Load(const WCHAR* path);
  // Lets this holder's share of the module go; the module is freed when no
  // other copy holds it.
  virtual void Unload();

  bool IsLoaded() const { return module_ != nullptr; }
  HINSTANCE GetHandle() const { return module_.get(); }
  // The module's export of that name, null when it has none or nothing is
  // loaded.
  FARPROC GetProcAddress(const char* name) const;
  // Binds the export of that name to a typed entry; false, with the entry
  // null, when there is no such export.
  template <typename Entry>
  bool Bind(const char* name, Entry* entry) const {
    *entry = reinterpret_cast<Entry>(GetProcAddress(name));
    return *entry != nullptr;
  }

 private:
  std::shared_ptr<void> module_;
};

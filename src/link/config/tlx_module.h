// Modules the link library loads at run time, and the search that finds them.
#pragma once

#include <atomic>

#include "com/unknown.h"
#include "win32/modules.h"

namespace tlx::link {

// One loaded module (or none). The destructor frees it.
class tlxModule {
 public:
  tlxModule() = default;
  virtual ~tlxModule();
  tlxModule(const tlxModule&) = delete;
  tlxModule& operator=(const tlxModule&) = delete;

  // Loads the module of `path` (a name as the module functions take it).
  // True when it loaded; a module loaded already is kept.
  bool load(const char* path);
  void unload();
  bool loaded() const { return module_ != nullptr; }
  // The export `name`, or null.
  FARPROC entry(const char* name) const;
  // An object of the module's class through its DllGetClassObject and class
  // factory: REGDB_E_CLASSNOTREG without a module or without that export,
  // otherwise what the class object or the factory returns.
  HRESULT createInstance(REFCLSID clsid, REFIID iid, void** out);

 private:
  HMODULE module_ = nullptr;
};

// Loads `name` into `module` unless it holds a module already: the name as
// given (which the module functions look for in $TLX_MODULE_PATH, the
// executable's folder and the current directory), then below the current
// directory's "WinRavix", "../../../Ravix/bin/Release" and the shared
// program files' "Marovi/WinRavix", each as an absolute path. The current
// directory is never changed. True when the module is loaded.
bool tlxLoadModule(tlxModule& module, const char* name);

// The searches tlxLoadModule has made so far, for tests.
int tlxModuleLoadAttempts();

// The file names of the two modules: $TLX_AUTH_MODULE or
// "TlxAuthentication.dll", and $TLX_VEXLINK_MODULE or "Vexlink.dll".
const char* tlxAuthModuleName();
const char* tlxVexlinkModuleName();

}  // namespace tlx::link

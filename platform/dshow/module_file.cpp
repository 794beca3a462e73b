#include "dshow/module_file.h"

#include <dlfcn.h>

namespace tlx::dshow::detail {

void* OpenModuleFile(const std::string& path, std::string* error) {
  // Local binding: every module has entries of the same names.
  void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr && error != nullptr) {
    const char* reason = dlerror();
    *error = reason != nullptr ? reason : "cannot load";
  }
  return module;
}

void* ModuleFileEntry(void* module, const char* name) { return dlsym(module, name); }

void CloseModuleFile(void* module) { dlclose(module); }

}  // namespace tlx::dshow::detail

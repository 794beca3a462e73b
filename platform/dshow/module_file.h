// Internal: opening a module file and finding its entries. The one place the
// filter layer touches the system's dynamic loader.
#pragma once

#include <string>

namespace tlx::dshow::detail {

// Null on failure, with the reason in *error.
void* OpenModuleFile(const std::string& path, std::string* error);
void* ModuleFileEntry(void* module, const char* name);
void CloseModuleFile(void* module);

}  // namespace tlx::dshow::detail

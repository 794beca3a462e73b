// The shell's own resources: its string table in its seven languages and its
// icon, so that it can speak before the region's bundle is loaded. They are
// built into the library and join the resource chain when the library is
// loaded. The loader starts a library's dependencies first, so the common
// library's resources are registered before these, as the chain's order
// wants; unloading the library takes them out again.
#include <cstddef>

#include "resources/tlx_pc_resource.h"

extern "C" const unsigned char kTlxPcApplicationBundle[];
extern "C" const size_t kTlxPcApplicationBundle_size;

namespace {

class ShellResources {
 public:
  ShellResources() : module_(TlxPcLoadResourceBundle(kTlxPcApplicationBundle, kTlxPcApplicationBundle_size)) {
    TlxPcRegisterLibraryResources(module_);
  }
  ~ShellResources() { TlxPcFreeResourceLibrary(module_); }
  ShellResources(const ShellResources&) = delete;
  ShellResources& operator=(const ShellResources&) = delete;

 private:
  HINSTANCE module_;
};

const ShellResources kShellResources;

}  // namespace

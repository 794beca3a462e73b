// What the library does when it is loaded and unloaded: it takes one help
// count and puts its own resources (its string table) into the process's
// resource chain, and gives both back in the reverse order.
#include "common/common_log.h"
#include "common/tlx_pc_cmn_help.h"
#include "resources/tlx_pc_resource.h"

// The library's resource bundle, built into it.
extern "C" const unsigned char kTlxPcCommonBundle[];
extern "C" const size_t kTlxPcCommonBundle_size;

namespace {

// One instance, constructed when the library is loaded. The chain's own state
// is first used from the constructor, so it is torn down after the
// destructor has run.
class LibraryRegistration {
 public:
  LibraryRegistration() {
    TlxPcCmnHtmlHelpInitialize();
    resources_ = TlxPcLoadResourceBundle(kTlxPcCommonBundle, kTlxPcCommonBundle_size);
    if (resources_ == nullptr) {
      tlx::common::Log("the library's resources are damaged; its strings are missing");
      return;
    }
    TlxPcRegisterLibraryResources(resources_);
  }
  ~LibraryRegistration() {
    if (resources_ != nullptr) TlxPcFreeResourceLibrary(resources_);
    TlxPcCmnHtmlHelpUninitialize();
  }
  LibraryRegistration(const LibraryRegistration&) = delete;
  LibraryRegistration& operator=(const LibraryRegistration&) = delete;

 private:
  HINSTANCE resources_ = nullptr;
};

const LibraryRegistration g_registration;

}  // namespace

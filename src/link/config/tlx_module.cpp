#include "link/config/tlx_module.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "win32/paths.h"

namespace tlx::link {
namespace {

std::atomic<int> loadAttempts{0};

// The folders searched after the name as given, each relative to the
// current directory or a special folder.
std::string SearchFolder(int index) {
  std::error_code error;
  const std::filesystem::path current = std::filesystem::current_path(error);
  switch (index) {
    case 0:
      return (current / "WinRavix").string();
    case 1:
      return (current / "../../../Ravix/bin/Release").lexically_normal().string();
    default: {
      const std::string common = win32::EnvironmentValue("CommonProgramFiles");
      return common.empty() ? std::string() : (std::filesystem::path(common) / "Marovi/WinRavix").string();
    }
  }
}

constexpr int kSearchFolders = 3;

const char* NameFrom(const char* variable, const char* fallback) {
  const char* name = std::getenv(variable);
  return name != nullptr && *name != '\0' ? name : fallback;
}

}  // namespace

tlxModule::~tlxModule() { unload(); }

bool tlxModule::load(const char* path) {
  if (module_ == nullptr) module_ = LoadLibraryA(path);
  return module_ != nullptr;
}

void tlxModule::unload() {
  if (module_ != nullptr) FreeLibrary(module_);
  module_ = nullptr;
}

FARPROC tlxModule::entry(const char* name) const {
  return module_ == nullptr ? nullptr : GetProcAddress(module_, name);
}

HRESULT tlxModule::createInstance(REFCLSID clsid, REFIID iid, void** out) {
  const auto getClassObject = reinterpret_cast<LPFNGETCLASSOBJECT>(entry(kDllGetClassObjectName));
  if (getClassObject == nullptr) return REGDB_E_CLASSNOTREG;
  IClassFactory* factory = nullptr;
  HRESULT result = getClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  if (FAILED(result)) return result;
  result = factory->CreateInstance(nullptr, iid, out);
  factory->Release();
  return result;
}

bool tlxLoadModule(tlxModule& module, const char* name) {
  if (module.loaded()) return true;
  if (name == nullptr || *name == '\0') return false;
  ++loadAttempts;
  if (module.load(name)) return true;
  const std::string fileName = win32::NativePath(name);
  for (int folder = 0; folder < kSearchFolders; ++folder) {
    const std::string path = SearchFolder(folder);
    if (!path.empty() && module.load((std::filesystem::path(path) / fileName).c_str())) return true;
  }
  return false;
}

int tlxModuleLoadAttempts() { return loadAttempts.load(); }

const char* tlxAuthModuleName() { return NameFrom("TLX_AUTH_MODULE", "TlxAuthentication.dll"); }
const char* tlxVexlinkModuleName() { return NameFrom("TLX_VEXLINK_MODULE", "Vexlink.dll"); }

}  // namespace tlx::link

#include "common/tlx_pc_cmn_dll_loader.h"

#include "common/common_log.h"
#include "win32/synch.h"
#include "win32/text.h"

CTlxPcCmnDllLoader::~CTlxPcCmnDllLoader() = default;

bool CTlxPcCmnDllLoader::Load(const WCHAR* path) {
  if (path == nullptr) return false;
  if (IsLoaded()) return true;
  HMODULE module = LoadLibraryW(path);
  if (module == nullptr) {
    tlx::common::Log("cannot load %s (error %u)", tlx::win32::NarrowText(path).c_str(),
                     static_cast<unsigned>(GetLastError()));
    return false;
  }
  module_ = std::shared_ptr<void>(module, [](void* held) { FreeLibrary(held); });
  return true;
}

void CTlxPcCmnDllLoader::Unload() { module_.reset(); }

FARPROC CTlxPcCmnDllLoader::GetProcAddress(const char* name) const {
  if (!IsLoaded() || name == nullptr) return nullptr;
  return ::GetProcAddress(module_.get(), name);
}

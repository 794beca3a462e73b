#include "win32/modules.h"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "win32/paths.h"
#include "win32/synch.h"
#include "win32/text.h"

namespace tlx::win32 {
namespace {

// The file names a module name may have on disk.
std::vector<std::string> FileNames(const std::string& name) {
  std::vector<std::string> names{name};
  constexpr std::string_view kDll = ".dll";
  if (name.size() > kDll.size() && EqualsNoCase(std::string_view(name).substr(name.size() - kDll.size()), kDll)) {
    const std::string stem = name.substr(0, name.size() - kDll.size());
    names.push_back("lib" + stem + ".so");
    names.push_back(stem + ".so");
  }
  return names;
}

std::string CurrentFolder() {
  std::error_code error;
  return std::filesystem::current_path(error).string();
}

std::vector<std::string> SearchFolders() {
  std::vector<std::string> folders;
  if (const char* roots = std::getenv("TLX_MODULE_PATH")) {
    std::string_view rest(roots);
    while (!rest.empty()) {
      const size_t colon = rest.find(':');
      if (colon != 0) folders.emplace_back(rest.substr(0, colon));
      rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
    }
  }
  const std::string executable = ExecutablePath();
  folders.push_back(executable.substr(0, FileNameOffset(executable)));
  folders.push_back(CurrentFolder());
  return folders;
}

// The absolute path of the module file, or empty.
std::string FindModule(const std::string& fileName) {
  const std::string native = NativePath(fileName);
  const size_t offset = FileNameOffset(native);
  std::vector<std::string> folders;
  if (offset == 0) {
    folders = SearchFolders();
  } else {
    const std::string folder = native.substr(0, offset);
    folders.push_back(folder.front() == '/' ? folder : CurrentFolder() + "/" + folder);
  }
  for (const std::string& folder : folders) {
    for (const std::string& name : FileNames(native.substr(offset))) {
      std::string found = FindFileNoCase(folder + (folder.empty() || folder.back() == '/' ? "" : "/") + name);
      if (!found.empty()) return found;
    }
  }
  return {};
}

bool InFolder(const std::string& path, const std::string& folder) {
  return !folder.empty() && path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
         path.find('/', folder.size()) == std::string::npos;
}

// Keeps every loaded library from outside the program's folder and the
// module's own folder loaded for the rest of the process. Such libraries come
// in with a module as its dependencies; some allocate at load time what they
// free only at process exit, so unmapping them with the module would lose
// that memory at every load. The module itself and the project's libraries
// beside it still unload.
void PinForeignLibraries(const std::string& modulePath) {
  std::error_code error;
  const std::string executable = std::filesystem::read_symlink("/proc/self/exe", error).string();
  struct Folders {
    std::string program;
    std::string module;
    std::vector<std::string> foreign;
  } folders{executable.substr(0, FileNameOffset(executable)), modulePath.substr(0, FileNameOffset(modulePath)), {}};
  dl_iterate_phdr(
      [](dl_phdr_info* info, size_t, void* data) {
        auto* f = static_cast<Folders*>(data);
        const std::string path = info->dlpi_name != nullptr ? info->dlpi_name : "";
        if (!path.empty() && path.front() == '/' && !InFolder(path, f->program) && !InFolder(path, f->module)) {
          f->foreign.push_back(path);
        }
        return 0;
      },
      &folders);
  for (const std::string& path : folders.foreign) {
    // An object already loaded gains the no-delete mark; the extra reference
    // is given back at once.
    if (void* pinned = dlopen(path.c_str(), RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE)) dlclose(pinned);
  }
}

HMODULE Load(const std::string& fileName) {
  const std::string path = FindModule(fileName);
  if (path.empty()) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    SetLastError(ERROR_BAD_EXE_FORMAT);
    return nullptr;
  }
  PinForeignLibraries(path);
  return module;
}

std::string ModulePath(HMODULE module) {
  if (module == nullptr) return ExecutablePath();
  link_map* map = nullptr;
  if (dlinfo(module, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr) return {};
  // The main program's entry has no name.
  return map->l_name[0] != '\0' ? std::string(map->l_name) : ExecutablePath();
}

template <typename Char>
DWORD PathOut(const std::string& path, Char* buffer, DWORD size) {
  if (path.empty()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  std::basic_string<Char> text;
  if constexpr (sizeof(Char) == 1) {
    text = path;
  } else {
    text = Utf8ToUtf16(path);
  }
  if (buffer == nullptr || size == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  const DWORD copied = CopyTruncated(std::basic_string_view<Char>(text), buffer, size);
  if (copied < text.size()) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
  }
  return copied;
}

}  // namespace

std::string ExecutablePath() {
  std::error_code error;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return {};
  const char* folder = std::getenv("TLX_EXE_DIR");
  if (folder == nullptr || *folder == '\0') return program.string();
  return (std::filesystem::path(folder) / program.filename()).string();
}

std::string ModulePathOfAddress(const void* address) {
  Dl_info info{};
  link_map* map = nullptr;
  if (dladdr1(address, &info, reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP) == 0 || info.dli_fname == nullptr) {
    return {};
  }
  // The program's own entry has no name: the loader then reports the name it
  // was started by, which may be relative or found through PATH.
  if (map != nullptr && map->l_name[0] == '\0') return ExecutablePath();
  std::error_code error;
  const std::filesystem::path path = std::filesystem::absolute(info.dli_fname, error);
  return error ? std::string(info.dli_fname) : path.string();
}

}  // namespace tlx::win32

using namespace tlx::win32;

HMODULE LoadLibraryA(LPCSTR fileName) {
  if (fileName == nullptr || *fileName == '\0') {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return Load(fileName);
}

HMODULE LoadLibraryW(LPCWSTR fileName) {
  if (fileName == nullptr || *fileName == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return Load(NarrowText(fileName));
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name) {
  if (module == nullptr || name == nullptr) {
    SetLastError(module == nullptr ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  void* symbol = dlsym(module, name);
  if (symbol == nullptr) SetLastError(ERROR_PROC_NOT_FOUND);
  return reinterpret_cast<FARPROC>(symbol);
}

BOOL FreeLibrary(HMODULE module) {
  if (module == nullptr || dlclose(module) != 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size) { return PathOut(ModulePath(module), buffer, size); }
DWORD GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size) {
  return PathOut(ModulePath(module), buffer, size);
}

#include "engine/tlx_pc_stm_com_loader.h"

#include <sys/stat.h>

#include <string>

#include "win32/modules.h"
#include "win32/paths.h"
#include "win32/text.h"

namespace {

constexpr DWORD kCurrentDirChars = 260;
constexpr const char16_t* kModuleFolders[] = {u"WinRavix", u"MP4Lib", u"../WinRavix", u"../MP4Lib",
                                              u"../../../Ravix/bin/Release"};

bool IsFolder(const std::u16string& path) {
  struct stat info {};
  return stat(tlx::win32::Utf16ToUtf8(path).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

HMODULE LoadFromFolders(const WCHAR* fileName) {
  WCHAR current[kCurrentDirChars + 1] = {};
  const DWORD length = GetCurrentDirectoryW(kCurrentDirChars + 1, current);
  if (length > 0 && length <= kCurrentDirChars) {
    const std::u16string base(current, length);
    for (const char16_t* folder : kModuleFolders) {
      const std::u16string dir = base + u"/" + folder;
      if (!IsFolder(dir)) continue;
      if (HMODULE module = LoadLibraryW((dir + u"/" + fileName).c_str())) return module;
    }
  }
  return LoadLibraryW(fileName);
}

}  // namespace

CTlxPcStmComLoader::CTlxPcStmComLoader(const WCHAR* fileName) {
  if (fileName != nullptr && fileName[0] != 0) m_hModule = LoadFromFolders(fileName);
}

CTlxPcStmComLoader::~CTlxPcStmComLoader() {
  if (m_hModule != nullptr) FreeLibrary(m_hModule);
}

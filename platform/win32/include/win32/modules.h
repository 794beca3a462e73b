// Modules: shared libraries loaded at run time by the names the system uses.
//
// A module is opened with dlopen(RTLD_NOW | RTLD_LOCAL) by its absolute path;
// the current directory is never changed. Its file name is matched without
// regard to case within its folder, and a name ending in ".dll" also finds
// "lib<name>.so" and "<name>.so" (so "TlxAuthentication.dll" finds
// libTlxAuthentication.so). A name with a folder ('\' or '/') is looked for in
// that folder only (a relative one below the current directory); a bare name
// in each folder of $TLX_MODULE_PATH (':'-separated), then the executable's
// folder, then the current directory.
//
// The executable's path is that of the running program; $TLX_EXE_DIR, when
// set, replaces its folder, so tests can give a program the folder it would
// be installed in.
#pragma once

#include <string>

#include "win32/errors.h"
#include "win32/types.h"

// The generic function pointer type, which casts to any entry's real type
// without a warning.
using FARPROC = void (*)();

// Loading a module that is loaded already returns the same handle and counts
// one more reference. Fails with ERROR_MOD_NOT_FOUND, or ERROR_BAD_EXE_FORMAT
// for a file that is no loadable library.
HMODULE LoadLibraryA(LPCSTR fileName);
HMODULE LoadLibraryW(LPCWSTR fileName);
// ERROR_PROC_NOT_FOUND when the module has no such export.
FARPROC GetProcAddress(HMODULE module, LPCSTR name);
// Drops one reference; the module is unloaded with the last.
BOOL FreeLibrary(HMODULE module);
// The module's path, or the executable's for a null module. A buffer that is
// too small receives the path cut to size - 1 characters, the result is size
// and the error ERROR_INSUFFICIENT_BUFFER.
DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size);
DWORD GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size);

namespace tlx::win32 {

std::string ExecutablePath();
// The path of the module (library or executable) that holds the address;
// empty when no module does.
std::string ModulePathOfAddress(const void* address);

}  // namespace tlx::win32

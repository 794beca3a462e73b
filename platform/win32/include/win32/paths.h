// Paths and environment of the Windows layer.
//
// Paths the layer returns use '/'. Every call here that takes a path accepts
// '\' and '/' alike, so the system may build paths the Windows way.
//
// The special folders the system reads from the environment are given
// defaults under the XDG folders when the variable is not set, so setting the
// variable overrides them:
//   ALLUSERSPROFILE     data shared by every part of the player:
//                       $XDG_DATA_HOME/tlx-player/all-users
//   CommonProgramFiles  shared program files: $XDG_DATA_HOME/tlx-player/common-files
//   APPDATA             the user's application data: $XDG_CONFIG_HOME
// with XDG_DATA_HOME defaulting to ~/.local/share and XDG_CONFIG_HOME to
// ~/.config.
#pragma once

#include <string>
#include <string_view>

#include "win32/errors.h"
#include "win32/types.h"

// Returns the length without terminator, or, when the buffer is too small, the
// size needed with it; 0 and ERROR_ENVVAR_NOT_FOUND when the variable is unset.
DWORD GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size);
DWORD GetEnvironmentVariableW(LPCWSTR name, LPWSTR buffer, DWORD size);
DWORD GetCurrentDirectoryA(DWORD size, LPSTR buffer);
DWORD GetCurrentDirectoryW(DWORD size, LPWSTR buffer);
// size: in, the buffer's size in characters; out, the name's length (with the
// terminator for the user name, without it for the computer name), or the size
// needed with the terminator when the buffer is too small.
BOOL GetUserNameA(LPSTR buffer, LPDWORD size);
BOOL GetUserNameW(LPWSTR buffer, LPDWORD size);
BOOL GetComputerNameA(LPSTR buffer, LPDWORD size);
BOOL GetComputerNameW(LPWSTR buffer, LPDWORD size);

namespace tlx::win32 {

// The path with every '\' turned into '/'.
std::string NativePath(std::string_view path);
// Where the path's file name starts: after its last '/' or '\' (0 without one).
size_t FileNameOffset(std::string_view path);
// An existing file whose name equals the path's file name without regard to
// case, in the path's folder: the path itself when it exists, else the first
// match in name order, else empty.
std::string FindFileNoCase(std::string_view path);

std::string XdgConfigHome();
std::string XdgDataHome();
// The value of an environment variable with the special-folder defaults above;
// empty when unset and without a default.
std::string EnvironmentValue(std::string_view name);

// Copies text into a caller's buffer of `size` characters the Windows way:
// returns the length copied without terminator, or the size needed with it
// (copying nothing) when the buffer is too small.
DWORD CopyOut(std::string_view text, LPSTR buffer, DWORD size);
DWORD CopyOut(std::u16string_view text, LPWSTR buffer, DWORD size);
// Copies as much of text as fits with a terminator; returns the characters
// copied.
DWORD CopyTruncated(std::string_view text, LPSTR buffer, DWORD size);
DWORD CopyTruncated(std::u16string_view text, LPWSTR buffer, DWORD size);

}  // namespace tlx::win32

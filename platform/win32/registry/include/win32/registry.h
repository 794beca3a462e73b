// The registry: keys and values under HKEY_CURRENT_USER and
// HKEY_LOCAL_MACHINE, kept in one database per hive (library tlx_registry).
//
// The hives live in $TLX_REGISTRY_DIR (default
// $XDG_CONFIG_HOME/tlx-player/registry) as HKEY_CURRENT_USER.db and
// HKEY_LOCAL_MACHINE.db. Every change is one committed transaction, so threads
// and processes share a hive safely and a crash loses nothing committed.
//
// Key and value names compare without regard to case and keep the case they
// were created with. Subkeys enumerate in name order, values in the order they
// were first set. REG_SZ data is kept as UTF-16 (with its terminator when the
// writer included it); the narrow calls convert it to and from UTF-8 and report
// narrow sizes. Other data is kept as given. An HKEY is valid in its process
// until RegCloseKey; the calls return Win32 error codes.
#pragma once

#include <string>

#include "win32/errors.h"
#include "win32/timing.h"
#include "win32/types.h"

struct HKEY__;
using HKEY = HKEY__*;
using PHKEY = HKEY*;
using REGSAM = DWORD;
using LSTATUS = LONG;

#define HKEY_CURRENT_USER (reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000001u)))
#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000002u)))

inline constexpr DWORD REG_NONE = 0;
inline constexpr DWORD REG_SZ = 1;
inline constexpr DWORD REG_BINARY = 3;
inline constexpr DWORD REG_DWORD = 4;

inline constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
inline constexpr REGSAM KEY_SET_VALUE = 0x0002;
inline constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
inline constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
inline constexpr REGSAM KEY_NOTIFY = 0x0010;
inline constexpr REGSAM KEY_READ = 0x20019;
inline constexpr REGSAM KEY_WRITE = 0x20006;
inline constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

inline constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
inline constexpr DWORD REG_CREATED_NEW_KEY = 1;
inline constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// Longest key name component and value name, in characters.
inline constexpr DWORD kRegMaxKeyNameChars = 255;
inline constexpr DWORD kRegMaxValueNameChars = 16383;

// Opens subKey below key (its components separated by '\'), creating every
// missing component; disposition says whether the last one was new.
LSTATUS RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR className, DWORD options, REGSAM access,
                        void* securityAttributes, PHKEY result, LPDWORD disposition);
LSTATUS RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD reserved, LPWSTR className, DWORD options, REGSAM access,
                        void* securityAttributes, PHKEY result, LPDWORD disposition);
// ERROR_FILE_NOT_FOUND when the key does not exist.
LSTATUS RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result);
LSTATUS RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM access, PHKEY result);
LSTATUS RegCloseKey(HKEY key);

// Without data, *dataSize receives the size; with a buffer that is too small,
// ERROR_MORE_DATA and the size needed. A null or empty name is the key's
// default value.
LSTATUS RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD dataSize);
LSTATUS RegQueryValueExW(HKEY key, LPCWSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD dataSize);
LSTATUS RegSetValueExA(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD dataSize);
LSTATUS RegSetValueExW(HKEY key, LPCWSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD dataSize);
LSTATUS RegDeleteValueA(HKEY key, LPCSTR name);
LSTATUS RegDeleteValueW(HKEY key, LPCWSTR name);
// Deletes a subkey and its values; a subkey that has subkeys of its own is
// refused with ERROR_ACCESS_DENIED.
LSTATUS RegDeleteKeyA(HKEY key, LPCSTR subKey);
LSTATUS RegDeleteKeyW(HKEY key, LPCWSTR subKey);

// nameChars: in, the buffer's size in characters with room for the
// terminator; out, the name's length without it. ERROR_NO_MORE_ITEMS past the
// end. Class names are empty and write times are not kept (zero).
LSTATUS RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameChars, LPDWORD reserved, LPSTR className,
                      LPDWORD classChars, FILETIME* lastWriteTime);
LSTATUS RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameChars, LPDWORD reserved, LPWSTR className,
                      LPDWORD classChars, FILETIME* lastWriteTime);
LSTATUS RegEnumValueA(HKEY key, DWORD index, LPSTR name, LPDWORD nameChars, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD dataSize);
LSTATUS RegEnumValueW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameChars, LPDWORD reserved, LPDWORD type,
                      LPBYTE data, LPDWORD dataSize);

namespace tlx::win32 {

// Typed reads for the system's registry-key helpers. A DWORD reads as the
// default unless the value exists with type REG_DWORD and four bytes.
DWORD RegReadDword(HKEY key, const WCHAR* name, DWORD defaultValue);
// A string reads as the default when the value cannot be read; otherwise its
// bytes, cut to an even count, are the text, ended at the first zero character
// or at the end. The type is not examined, as the system's helpers expect.
std::u16string RegReadString(HKEY key, const WCHAR* name, const WCHAR* defaultValue);

}  // namespace tlx::win32

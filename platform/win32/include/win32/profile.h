// Private-profile (INI) reads. The file is read again on every call, so a
// change is seen at once.
//
// Section and key names compare without regard to case; the first matching
// section and, in it, the first matching key count. A value is the text after
// the first '=', trimmed of blanks, with one pair of enclosing quotes (" or ')
// removed. A present but empty value reads as ""; a missing key, section or
// file gives the default. Lines starting with ';' are comments; a line without
// '=' outside a section header is skipped. Files may be UTF-8 (with or without
// a byte-order mark) or UTF-16 with its byte-order mark. A file larger than
// kProfileMaxFileSize counts as missing. The path may use '\' or '/', and its
// file name is matched without regard to case.
#pragma once

#include "win32/types.h"

inline constexpr size_t kProfileMaxFileSize = 4 * 1024 * 1024;

// Copies the value (or the default) into buffer, cutting it to size - 1
// characters; returns the number of characters copied.
DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultValue, LPSTR buffer, DWORD size,
                               LPCSTR fileName);
DWORD GetPrivateProfileStringW(LPCWSTR section, LPCWSTR key, LPCWSTR defaultValue, LPWSTR buffer, DWORD size,
                               LPCWSTR fileName);
// The value read as an integer: blanks, an optional sign, then decimal digits
// or "0x" and hexadecimal digits, up to the first other character (none: 0).
// A missing or empty value gives the default.
UINT GetPrivateProfileIntA(LPCSTR section, LPCSTR key, INT defaultValue, LPCSTR fileName);
UINT GetPrivateProfileIntW(LPCWSTR section, LPCWSTR key, INT defaultValue, LPCWSTR fileName);

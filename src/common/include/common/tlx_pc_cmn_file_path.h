// File paths as the system writes them, with '\' or '/' between folders and
// an optional drive ("C:").
#pragma once

#include "mfc/cstring.h"
#include "win32/types.h"

// The file name within the path: just after its last '\' or '/'; without one,
// just after its last ':'; without either, the path itself (also when empty).
// A surrogate pair is one character. Null for a null path.
const WCHAR* TlxPcCmnGetFileNamePtr(const WCHAR* path);
// The path up to and including the separator before its file name ("C:\dir\"
// of "C:\dir\file.txt"); empty when it has none. A null path leaves `out`
// unchanged.
void TlxPcCmnExtractFilePath(const WCHAR* path, CString& out);

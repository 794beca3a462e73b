// The regional edition of this build: which resource library holds the
// localized texts, which help file opens, the model id the base-station link
// library starts with, the model name in the registry path and in download
// paths, and the default colour system.
//
// The build's region code is fixed when the library is built (the CMake
// option TLX_REGION, "JP" by default). Its row is the first row of the region
// table whose code equals it exactly; without one, row 0 ("US").
#pragma once

#include "mfc/cstring.h"
#include "win32/types.h"

// Colour systems of the region table.
inline constexpr int kTlxPcCmnColorSystemNtsc = 1;
inline constexpr int kTlxPcCmnColorSystemPal = 2;

struct TlxPcCmnRegionRow {
  const WCHAR* code;              // "US", "JP", ..., "EU-ES"
  const WCHAR* resourceDllName;   // "TlxPcResourceJP.dll"
  const WCHAR* helpFile;          // null: the library's default help file
  int modelIdForMiddle;           // model id for the base-station link library
  const WCHAR* modelName;         // "QZM-K3JP"
  int defaultColorSystem;         // kTlxPcCmnColorSystemNtsc or kTlxPcCmnColorSystemPal
};

// The row of a region code: the first exact, case-sensitive match, else row 0.
// A null code is no match.
const TlxPcCmnRegionRow& TlxPcCmnFindRegionRow(const WCHAR* code);
// The build's row.
const TlxPcCmnRegionRow& TlxPcCmnCurrentRegionRow();

// The build's region code.
void TlxPcCmnGetLanguageMode(CString& out);
// Keeps the text as the module's language mode; the build's row stays.
void TlxPcCmnSetLanguageMode(const WCHAR* mode);
void TlxPcCmnGetResourceDllName(CString& out);
int TlxPcCmnGetModelIdForMiddle();
// first: the model name; second: the region code (callers build download
// paths "pc/" + first + "/" + second + "/").
void TlxPcCmnGetLangAndModel(CString& first, CString& second);
int TlxPcCmnGetDefaultColorSystem();
// "Software\Marovi Corporation\TLX\" + model name + "\App", the key under
// which the user-interface libraries keep their settings.
void TlxPcCmnGetRegistryPath(CString& out);

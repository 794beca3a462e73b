// CTlxPcStmComLoader: owns one filter module loaded from its file, and
// CFilterParam: one row of a filter table.
#pragma once

#include "com/guid.h"
#include "win32/types.h"

// One row of a filter table; a row whose name is null ends a table.
struct CFilterParam {
  const WCHAR* m_pszName;      // the filter's registered friendly name
  GUID m_clsid;                // its class
  const WCHAR* m_pszFileName;  // its module file; empty: not loaded from a file
  int m_nCodec;                // codec bits a video-decoder row decodes (0 in other rows)
};

// Loads its module at construction: the folders "WinRavix", "MP4Lib",
// "../WinRavix", "../MP4Lib" and "../../../Ravix/bin/Release" below the
// current directory, each as an absolute path and only when it exists, then
// the bare name through the module loader's own search ($TLX_MODULE_PATH, the
// executable's folder, the current directory). The current directory is
// never changed. The module is freed when the loader goes, so a loader is
// deleted only after the objects its module made.
class CTlxPcStmComLoader {
 public:
  explicit CTlxPcStmComLoader(const WCHAR* fileName);
  virtual ~CTlxPcStmComLoader();
  CTlxPcStmComLoader(const CTlxPcStmComLoader&) = delete;
  CTlxPcStmComLoader& operator=(const CTlxPcStmComLoader&) = delete;

  // Null when no folder held the module.
  HMODULE hGetModule() const { return m_hModule; }

 private:
  HMODULE m_hModule = nullptr;
};

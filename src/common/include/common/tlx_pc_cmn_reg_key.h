// CTlxPcCmnRegKey: one open registry key with typed reads and writes.
//
// The object owns its key. Copies share it: the key is closed when the last
// copy goes, so a copy may outlive the object it was copied from. The
// predefined roots (HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE) are taken the same
// way; closing them does nothing.
//
// The resource-id forms take the value's name from the string of that id in
// the resource chain; when the name loads empty, reads give the default and
// writes return FALSE without touching the registry.
#pragma once

#include <memory>

#include "mfc/cstring.h"
#include "win32/registry.h"
#include "win32/types.h"

class CTlxPcCmnRegKey {
 public:
  CTlxPcCmnRegKey() = default;
  // Takes ownership of an open key.
  explicit CTlxPcCmnRegKey(HKEY key);
  CTlxPcCmnRegKey(const CTlxPcCmnRegKey&) = default;
  CTlxPcCmnRegKey& operator=(const CTlxPcCmnRegKey&) = default;
  virtual ~CTlxPcCmnRegKey();

  HKEY GetKey() const { return key_.get(); }

  // Opens the subkey (components separated by '\'), creating what is missing,
  // with full access. A new object the caller deletes, or null.
  CTlxPcCmnRegKey* CreateKey(const WCHAR* subKey);
  // Opens an existing subkey. A new object the caller deletes, or null.
  CTlxPcCmnRegKey* OpenKey(const WCHAR* subKey, REGSAM access);

  // The value when it is a REG_DWORD of four bytes, else the default.
  DWORD ReadDword(const WCHAR* name, DWORD defaultValue);
  int ReadInteger(const WCHAR* name, int defaultValue);
  // The value's bytes as UTF-16 text whatever its type: an odd last byte is
  // dropped and the text ends at its first zero character. The default when
  // the value cannot be read.
  CString ReadString(const WCHAR* name, const WCHAR* defaultValue);
  // A REG_DWORD of four bytes; TRUE when stored.
  BOOL WriteDword(const WCHAR* name, DWORD value);
  BOOL WriteInteger(const WCHAR* name, int value);
  // A REG_SZ with its terminator; TRUE when stored.
  BOOL WriteString(const WCHAR* name, const WCHAR* text);

  DWORD ReadDword(int nameId, DWORD defaultValue);
  int ReadInteger(int nameId, int defaultValue);
  CString ReadString(int nameId, const WCHAR* defaultValue);
  BOOL WriteDword(int nameId, DWORD value);
  BOOL WriteInteger(int nameId, int value);
  BOOL WriteString(int nameId, const WCHAR* text);

 private:
  std::shared_ptr<HKEY__> key_;
};

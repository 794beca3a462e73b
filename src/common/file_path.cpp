#include "common/tlx_pc_cmn_file_path.h"

#include <string>

namespace {

bool IsHighSurrogate(WCHAR unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(WCHAR unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// The next character after `p`, stepping over a whole surrogate pair.
const WCHAR* CharNext(const WCHAR* p) {
  return IsHighSurrogate(p[0]) && IsLowSurrogate(p[1]) ? p + 2 : p + 1;
}

}  // namespace

const WCHAR* TlxPcCmnGetFileNamePtr(const WCHAR* path) {
  if (path == nullptr) return nullptr;
  const WCHAR* afterSlash = nullptr;
  const WCHAR* afterColon = nullptr;
  for (const WCHAR* p = path; *p != 0; p = CharNext(p)) {
    if (*p == u'\\' || *p == u'/') afterSlash = p + 1;
    if (*p == u':') afterColon = p + 1;
  }
  if (afterSlash != nullptr) return afterSlash;
  return afterColon != nullptr ? afterColon : path;
}

void TlxPcCmnExtractFilePath(const WCHAR* path, CString& out) {
  if (path == nullptr) return;
  const WCHAR* name = TlxPcCmnGetFileNamePtr(path);
  out = CString(std::u16string(path, name).c_str());
}

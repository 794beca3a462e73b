// The second process of the registry-key test: reads values through the
// common library's registry key and prints them.
#include <cstdio>
#include <cstring>

#include "common/tlx_pc_cmn_reg_key.h"
#include "win32/text.h"

// read-values KEY: prints the DWORD "Count" and the string "Name" under KEY
// of HKEY_CURRENT_USER, one per line ("-" when missing).
int main(int argc, char** argv) {
  if (argc != 3 || std::strcmp(argv[1], "read-values") != 0) return 2;
  CTlxPcCmnRegKey root(HKEY_CURRENT_USER);
  const std::u16string path = tlx::win32::Utf8ToUtf16(argv[2]);
  CTlxPcCmnRegKey* key = root.OpenKey(path.c_str(), KEY_READ);
  if (key == nullptr) return 1;
  std::printf("%u\n%s\n", key->ReadDword(u"Count", 0xFFFFFFFF), key->ReadString(u"Name", u"-").ToUtf8().c_str());
  delete key;
  return 0;
}

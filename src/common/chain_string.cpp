#include "common/chain_string.h"

#include <vector>

#include "resources/tlx_pc_resource.h"
#include "win32/registry.h"

namespace tlx::common {

CString ChainString(UINT id) {
  std::vector<WCHAR> text(kRegMaxValueNameChars + 1, 0);
  LoadStringW(AfxFindStringResourceHandle(id), id, text.data(), static_cast<int>(text.size()));
  return CString(text.data());
}

}  // namespace tlx::common

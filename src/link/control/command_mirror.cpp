#include "link/control/command_mirror.h"

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>

#include "ses/ses_coding.h"
#include "win32/copy_data.h"

namespace tlx::link {
namespace {

struct Mirror {
  std::mutex lock;
  bool looked = false;                           // a look-up was made
  std::optional<win32::CopyDataAddress> target;  // what it found
  int lookups = 0;
};

Mirror& mirror() {
  static Mirror m;
  return m;
}

}  // namespace

void tlxCommandMirror(int cmdId, const void* data, int length) {
  Mirror& m = mirror();
  std::lock_guard guard(m.lock);
  if (!m.looked) {
    m.looked = true;
    ++m.lookups;
    win32::CopyDataAddress found;
    if (win32::FindCopyDataEndpoint("TRCMainForm", "Remote Command Comparator", &found)) m.target = found;
  }
  if (!m.target) return;
  // Only as many bytes as the text has room for are turned into hex.
  const int fit = (kMirrorTextSize - 1) / 2;
  const int used = data == nullptr || length < 0 ? 0 : std::min(length, fit);
  std::string hex(static_cast<size_t>(2 * used) + 1, '\0');
  sesHexEncode(data, used, hex.data());
  char text[kMirrorTextSize];
  const int written = std::snprintf(text, sizeof text, "cmdid=%d\ndata=%s\n", cmdId, hex.c_str());
  const int textLength = std::min(written, kMirrorTextSize - 1);
  COPYDATASTRUCT record{};
  record.dwData = 0;
  record.cbData = static_cast<DWORD>(textLength + 1);
  record.lpData = text;
  LRESULT result = 0;
  win32::SendCopyData(*m.target, record, kMirrorTimeoutMs, &result);
}

int tlxCommandMirrorLookups() {
  Mirror& m = mirror();
  std::lock_guard guard(m.lock);
  return m.lookups;
}

void tlxCommandMirrorForget() {
  Mirror& m = mirror();
  std::lock_guard guard(m.lock);
  m.looked = false;
  m.target.reset();
}

}  // namespace tlx::link

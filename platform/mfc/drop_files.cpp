#include "mfc/drop_files.h"

#include <algorithm>
#include <map>
#include <mutex>

#include "mfc/wnd.h"

namespace {

// The live drops by handle value; values grow and are never reused, so a
// finished drop's handle finds nothing.
struct Drops {
  std::mutex lock;
  std::map<uintptr_t, QStringList> live;
  uintptr_t next = 1;
};

Drops& TheDrops() {
  static Drops drops;
  return drops;
}

}  // namespace

HDROP tlx::mfc::MakeDrop(const QStringList& paths) {
  Drops& drops = TheDrops();
  std::lock_guard lock(drops.lock);
  uintptr_t key = drops.next++;
  drops.live.emplace(key, paths);
  return reinterpret_cast<HDROP>(key);
}

void DragAcceptFiles(HWND hwnd, BOOL accept) {
  CWnd* wnd = CWnd::FromHandle(hwnd);
  if (wnd == nullptr) return;
  if (accept) {
    wnd->ModifyStyleEx(0, WS_EX_ACCEPTFILES);
  } else {
    wnd->ModifyStyleEx(WS_EX_ACCEPTFILES, 0);
  }
}

UINT DragQueryFileW(HDROP drop, UINT index, WCHAR* file, UINT count) {
  Drops& drops = TheDrops();
  std::lock_guard lock(drops.lock);
  auto it = drops.live.find(reinterpret_cast<uintptr_t>(drop));
  if (it == drops.live.end()) return 0;
  const QStringList& paths = it->second;
  if (index == 0xFFFFFFFFu) return static_cast<UINT>(paths.size());
  if (index >= static_cast<UINT>(paths.size())) return 0;
  const QString& path = paths[static_cast<qsizetype>(index)];
  if (file == nullptr) return static_cast<UINT>(path.size());
  if (count == 0) return 0;
  UINT copied = std::min<UINT>(static_cast<UINT>(path.size()), count - 1);
  std::copy_n(reinterpret_cast<const WCHAR*>(path.utf16()), copied, file);
  file[copied] = 0;
  return copied;
}

void DragFinish(HDROP drop) {
  Drops& drops = TheDrops();
  std::lock_guard lock(drops.lock);
  drops.live.erase(reinterpret_cast<uintptr_t>(drop));
}

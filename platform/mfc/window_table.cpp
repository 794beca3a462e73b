#include "mfc/internal/window_table.h"

#include <algorithm>
#include <unordered_map>

#include "mfc/winuser.h"
#include "win32/synch.h"

namespace tlx::mfc {
namespace {

struct Record {
  CWnd* wnd = nullptr;
  WindowState state;
  std::vector<std::weak_ptr<PendingSend>> sends;
};

struct Table {
  std::mutex lock;
  std::unordered_map<uintptr_t, Record> windows;
  // The next handle value; it only grows, so no value comes back.
  uintptr_t next = 0x10000;
};

Table& TheTable() {
  static auto* table = new Table();
  return *table;
}

uintptr_t Key(HWND hwnd) { return reinterpret_cast<uintptr_t>(hwnd); }

}  // namespace

void PendingSend::Complete(LRESULT result) {
  std::lock_guard lock(lock_);
  if (completed_) return;
  completed_ = true;
  result_ = result;
  done_.notify_all();
}

bool PendingSend::Wait(DWORD timeoutMs, LRESULT* result) {
  std::unique_lock lock(lock_);
  auto completed = [this] { return completed_; };
  if (timeoutMs == INFINITE) {
    done_.wait(lock, completed);
  } else if (!done_.wait_for(lock, std::chrono::milliseconds(timeoutMs), completed)) {
    return false;
  }
  *result = result_;
  return true;
}

HWND RegisterWindow(CWnd* wnd, const WindowState& state) {
  Table& table = TheTable();
  std::lock_guard lock(table.lock);
  uintptr_t key = table.next;
  table.next += 4;
  table.windows.emplace(key, Record{wnd, state, {}});
  return reinterpret_cast<HWND>(key);
}

void ReplaceWindow(HWND hwnd, CWnd* wnd) {
  Table& table = TheTable();
  std::lock_guard lock(table.lock);
  auto it = table.windows.find(Key(hwnd));
  if (it != table.windows.end()) it->second.wnd = wnd;
}

void UnregisterWindow(HWND hwnd) {
  std::vector<std::weak_ptr<PendingSend>> sends;
  {
    Table& table = TheTable();
    std::lock_guard lock(table.lock);
    auto it = table.windows.find(Key(hwnd));
    if (it == table.windows.end()) return;
    sends.swap(it->second.sends);
    table.windows.erase(it);
  }
  for (auto& weak : sends) {
    if (auto send = weak.lock()) send->Complete(0);
  }
}

bool WindowExists(HWND hwnd) {
  Table& table = TheTable();
  std::lock_guard lock(table.lock);
  return table.windows.count(Key(hwnd)) != 0;
}

CWnd* LookupWindow(HWND hwnd) {
  Table& table = TheTable();
  std::lock_guard lock(table.lock);
  auto it = table.windows.find(Key(hwnd));
  return it == table.windows.end() ? nullptr : it->second.wnd;
}

WindowState* LockedState(HWND hwnd, std::unique_lock<std::mutex>& lock) {
  Table& table = TheTable();
  lock = std::unique_lock(table.lock);
  auto it = table.windows.find(Key(hwnd));
  return it == table.windows.end() ? nullptr : &it->second.state;
}

bool ReadWindowState(HWND hwnd, WindowState* state) {
  Table& table = TheTable();
  std::lock_guard lock(table.lock);
  auto it = table.windows.find(Key(hwnd));
  if (it == table.windows.end()) return false;
  *state = it->second.state;
  return true;
}

bool WindowScreenRect(HWND hwnd, RECT* rect) {
  Table& table = TheTable();
  std::lock_guard lock(table.lock);
  auto it = table.windows.find(Key(hwnd));
  if (it == table.windows.end()) return false;
  RECT r = it->second.state.place;
  // Each parent adds the offset of its client area; a parent that is gone
  // leaves the rectangle where the chain ends.
  const WindowState* state = &it->second.state;
  while (!state->topLevel) {
    auto parent = table.windows.find(Key(state->parent));
    if (parent == table.windows.end()) break;
    state = &parent->second.state;
    LONG dx = state->place.left + state->client.left;
    LONG dy = state->place.top + state->client.top;
    r = RECT{r.left + dx, r.top + dy, r.right + dx, r.bottom + dy};
  }
  *rect = r;
  return true;
}

std::vector<HWND> TopLevelWindows() {
  Table& table = TheTable();
  std::vector<uintptr_t> keys;
  {
    std::lock_guard lock(table.lock);
    for (const auto& [key, record] : table.windows) {
      if (record.state.topLevel) keys.push_back(key);
    }
  }
  std::sort(keys.begin(), keys.end());
  std::vector<HWND> windows;
  for (uintptr_t key : keys) windows.push_back(reinterpret_cast<HWND>(key));
  return windows;
}

HWND FindTopLevelWindow(const QString* className, const QString* title) {
  Table& table = TheTable();
  std::lock_guard lock(table.lock);
  // The oldest window first, as handles grow with creation.
  uintptr_t best = 0;
  for (const auto& [key, record] : table.windows) {
    if (!record.state.topLevel) continue;
    if (title != nullptr && record.state.text.compare(*title, Qt::CaseInsensitive) != 0) continue;
    if (className != nullptr && record.state.className.compare(*className, Qt::CaseInsensitive) != 0) continue;
    if (best == 0 || key < best) best = key;
  }
  return reinterpret_cast<HWND>(best);
}

bool AddPendingSend(HWND hwnd, const std::shared_ptr<PendingSend>& send) {
  Table& table = TheTable();
  std::lock_guard lock(table.lock);
  auto it = table.windows.find(Key(hwnd));
  if (it == table.windows.end()) return false;
  auto& sends = it->second.sends;
  std::erase_if(sends, [](const std::weak_ptr<PendingSend>& s) { return s.expired(); });
  sends.push_back(send);
  return true;
}

}  // namespace tlx::mfc

// Thread message queues, for worker threads that have no window. A thread gets
// its queue on its first PeekMessage or GetMessage call and loses it when it
// ends; posting to a thread without a queue fails.
#pragma once

#include <functional>

#include "win32/types.h"

struct POINT {
  LONG x;
  LONG y;
};

struct MSG {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  DWORD time;
  POINT pt;
};

inline constexpr UINT WM_NULL = 0x0000;
inline constexpr UINT WM_QUIT = 0x0012;
inline constexpr UINT WM_COMMAND = 0x0111;
inline constexpr UINT WM_HSCROLL = 0x0114;
inline constexpr UINT WM_USER = 0x0400;
inline constexpr UINT WM_APP = 0x8000;

inline constexpr UINT PM_NOREMOVE = 0x0000;
inline constexpr UINT PM_REMOVE = 0x0001;

inline constexpr DWORD ERROR_NOT_ENOUGH_QUOTA = 1816;
// Messages a queue holds before posts fail, as on Windows.
inline constexpr size_t kThreadQueueLimit = 10000;

// Frees what a posted message carries (a heap record in wParam or lParam) when
// the message is discarded without being retrieved: its thread ended or its
// window was destroyed first. It runs exactly once in that case and never when
// the message is retrieved, which hands the record to the receiver. A post
// that fails does not run it: the sender still owns the record.
using MessageDisposer = std::function<void(WPARAM wParam, LPARAM lParam)>;

BOOL PostThreadMessage(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam);
BOOL PostThreadMessage(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam, MessageDisposer dispose);
// Blocks for the next message for hwnd (all when null) within [filterMin,
// filterMax] (all when both are 0). Returns FALSE for WM_QUIT, -1 on a bad
// argument, TRUE otherwise.
BOOL GetMessage(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax);
BOOL PeekMessage(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeFlags);
// Asks the calling thread's loop to end: WM_QUIT is retrieved once every posted
// message before it has been.
void PostQuitMessage(int exitCode);

namespace tlx::win32 {
// Adds a message to another thread's queue from the window layer, with the
// window set. Fails like PostThreadMessage.
BOOL PostQueueMessage(DWORD threadId, const MSG& msg, MessageDisposer dispose = {});
// Ends the calling thread's queue as its end does: what it holds is discarded
// through the disposers and later posts fail. Threads of this layer call it
// when their function returns, before they count as ended.
void CloseThreadQueue();
}  // namespace tlx::win32

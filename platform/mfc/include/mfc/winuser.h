// The window functions that work on handles. None of them touches a widget, so
// any thread of the process may call them, also from a library without a user
// interface: they answer from the process's window table, which a mutex guards,
// and hand work for the window to its GUI thread.
//
// Handle values are never reused in a process: a handle whose window was
// destroyed stays dead.
#pragma once

#include "mfc/message_ids.h"
#include "win32/messages.h"
#include "win32/rect.h"
#include "win32/types.h"

using TIMERPROC = void (*)(HWND hwnd, UINT message, UINT_PTR idEvent, DWORD time);

// SendMessageTimeout flags. A waiting sender here never handles messages of
// its own, so SMTO_NORMAL and SMTO_BLOCK are the same, and a window that goes
// away always ends the wait with 0 (SMTO_ERRORONEXIT).
inline constexpr UINT SMTO_NORMAL = 0x0000;
inline constexpr UINT SMTO_BLOCK = 0x0001;
// Fails at once while the GUI thread is hung: a message has waited for it
// longer than kHungAfterMs.
inline constexpr UINT SMTO_ABORTIFHUNG = 0x0002;
// The time-out ends the wait only while the GUI thread is hung.
inline constexpr UINT SMTO_NOTIMEOUTIFNOTHUNG = 0x0008;
inline constexpr UINT SMTO_ERRORONEXIT = 0x0020;
inline constexpr DWORD kHungAfterMs = 5000;

// TRUE while the window exists.
BOOL IsWindow(HWND hwnd);
// The first top-level window of this process whose class name and title equal
// `className` and `windowName` without regard to case; a null name matches
// any. The class is the name given at creation ("STATIC" for a plain hidden
// window), or a control's Windows class name. Null when there is none.
HWND FindWindowA(const char* className, const char* windowName);
HWND FindWindowW(const WCHAR* className, const WCHAR* windowName);
inline HWND FindWindow(const char* className, const char* windowName) { return FindWindowA(className, windowName); }
// Copies the window's class name (see FindWindow), cut to fit `maxCount` units
// with the terminating zero; returns the units copied without it, 0 for a dead
// handle.
int GetClassNameW(HWND hwnd, WCHAR* name, int maxCount);

// Queues a message for the window's GUI thread and returns at once. Messages
// from one thread arrive in the order they were posted. FALSE when the window
// does not exist: the sender still owns whatever the message carries. When the
// window is destroyed before the message is delivered, `dispose` runs once
// with wParam and lParam instead of the handler.
BOOL PostMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, MessageDisposer dispose = {});

// Calls the window's procedure and returns its result. On the window's GUI
// thread this is a direct call; from another thread the message goes ahead of
// every message posted before it and the caller waits until it is handled. 0
// when the window does not exist or is destroyed before it is handled.
LRESULT SendMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// As SendMessage, but a caller on another thread waits at most `timeoutMs`.
// Non-zero with the result in *result when the message was handled; 0 when the
// window does not exist (ERROR_INVALID_WINDOW_HANDLE) or the time ran out
// (ERROR_TIMEOUT; the message is still handled later, its result dropped).
LRESULT SendMessageTimeout(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT flags, UINT timeoutMs,
                           DWORD_PTR* result);

// Window timers: WM_TIMER(idEvent) for the window (or a call of `proc`) every
// `elapseMs`, on the window's GUI thread. Setting an id the window already
// uses restarts that timer. At most one WM_TIMER per timer waits at a time: a
// busy thread finds one, not a backlog. Returns idEvent, 0 when the window does
// not exist.
//
// Thread timers (hwnd null) call `proc` on the thread that set them: through
// its thread queue (DispatchMessage of the WM_TIMER it retrieves) on a worker,
// from the event loop on the GUI thread. SetTimer returns a fresh non-zero id,
// or restarts the calling thread's timer `idEvent`; another thread's timer is
// neither set nor killed (0 and FALSE).
UINT_PTR SetTimer(HWND hwnd, UINT_PTR idEvent, UINT elapseMs, TIMERPROC proc = nullptr);
BOOL KillTimer(HWND hwnd, UINT_PTR idEvent);

// Hands a message retrieved from a thread queue to its window, or for a
// thread timer's WM_TIMER to its procedure. Returns the window's result.
LRESULT DispatchMessage(const MSG* msg);
// Accepted for the shape of a message loop; there are no keyboard messages in
// thread queues to translate.
BOOL TranslateMessage(const MSG* msg);

// Queries answered from what the window's GUI thread last recorded, so they
// are valid on any thread. Rectangles are in screen coordinates except the
// client rectangle, whose origin is (0, 0).
BOOL IsWindowVisible(HWND hwnd);
BOOL IsWindowEnabled(HWND hwnd);
BOOL IsZoomed(HWND hwnd);
BOOL IsIconic(HWND hwnd);
BOOL GetWindowRect(HWND hwnd, RECT* rect);
BOOL GetClientRect(HWND hwnd, RECT* rect);
// Copies the title as UTF-8 (A) or UTF-16 (W), cut to fit `maxCount` units with
// the terminating zero; returns the units copied without it.
int GetWindowTextA(HWND hwnd, char* text, int maxCount);
int GetWindowTextW(HWND hwnd, WCHAR* text, int maxCount);
int GetWindowTextLengthW(HWND hwnd);

inline constexpr DWORD ERROR_INVALID_WINDOW_HANDLE = 1400;

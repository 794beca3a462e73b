// Mailslots: a one-way, message-oriented inbox that one process owns under a
// name and any process on the machine writes to.
//
// Names have the form "\\.\mailslot\NAME" (either separator, any letter
// case). A name has one owner: creating one that a process already owns fails
// with ERROR_ALREADY_EXISTS, and it is free again when the owner closes it or
// ends. Every write is one message of up to kMailslotMaxMessageSize bytes and
// every read takes one whole message. A mailslot is kept as an AF_UNIX
// datagram socket in the abstract namespace, so it lives as long as its owner.
//
// The owner's handle reads (ReadFile, GetMailslotInfo); closing it makes a read
// that is waiting on another thread fail at once. Writers open the name with
// CreateFile and send with WriteFile.
#pragma once

#include "win32/errors.h"
#include "win32/types.h"

inline constexpr DWORD MAILSLOT_NO_MESSAGE = 0xFFFFFFFF;
inline constexpr DWORD MAILSLOT_WAIT_FOREVER = 0xFFFFFFFF;
inline constexpr DWORD kMailslotMaxMessageSize = 64 * 1024;
// How long a write waits for room in an inbox that its owner does not read.
inline constexpr DWORD kMailslotWriteTimeoutMs = 2000;

inline constexpr DWORD GENERIC_READ = 0x80000000;
inline constexpr DWORD GENERIC_WRITE = 0x40000000;
inline constexpr DWORD FILE_SHARE_READ = 0x00000001;
inline constexpr DWORD FILE_SHARE_WRITE = 0x00000002;
inline constexpr DWORD OPEN_EXISTING = 3;
inline constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x00000080;

// maxMessageSize 0 takes any size up to kMailslotMaxMessageSize; a message
// larger than the limit (or than that maximum) is dropped whole before it is
// seen, whoever sent it. readTimeout is in
// milliseconds or MAILSLOT_WAIT_FOREVER. INVALID_HANDLE_VALUE on failure.
HANDLE CreateMailslotA(LPCSTR name, DWORD maxMessageSize, DWORD readTimeout, void* securityAttributes);
HANDLE CreateMailslotW(LPCWSTR name, DWORD maxMessageSize, DWORD readTimeout, void* securityAttributes);
// nextSize: the size of the next message or MAILSLOT_NO_MESSAGE; messageCount:
// 1 while a message waits, else 0.
BOOL GetMailslotInfo(HANDLE mailslot, LPDWORD maxMessageSize, LPDWORD nextSize, LPDWORD messageCount,
                     LPDWORD readTimeout);

// Opens a mailslot for writing (GENERIC_WRITE, OPEN_EXISTING); the other
// arguments are not used. Fails with ERROR_FILE_NOT_FOUND when nobody owns the
// name; a path that is not a mailslot name fails with ERROR_PATH_NOT_FOUND.
HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD shareMode, void* securityAttributes, DWORD creation, DWORD flags,
                   HANDLE templateFile);
HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD shareMode, void* securityAttributes, DWORD creation, DWORD flags,
                   HANDLE templateFile);
// Reads the next message whole, waiting up to the mailslot's read time-out
// (ERROR_SEM_TIMEOUT). A buffer smaller than the message fails with
// ERROR_INSUFFICIENT_BUFFER and leaves the message in place. overlapped must be
// null.
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD size, LPDWORD read, void* overlapped);
// Sends one message; ERROR_BROKEN_PIPE when the owner has gone.
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD size, LPDWORD written, void* overlapped);

// TlxPcMessage: localized, modal message boxes for message identifiers.
//
// A box's text is the string of its identifier, found through the resource
// chain (the region's module, then the libraries' modules); a missing text
// shows as "[id]". The box is owned by the top-level window of `owner` (none
// for null) and modal. The style is a Windows message-box style; its buttons
// and icon:
//   0 OK; 1 OK, Cancel; 4 Yes, No; 5 Retry, Cancel (any other button code
//   shows OK); 0x20 question, 0x30 exclamation, 0x40 information icon.
// The result is the button pressed: IDOK 1, IDCANCEL 2, IDRETRY 4, IDYES 6,
// IDNO 7. Closing the box, and every call while boxes are suppressed, gives
// the style's negative answer (IDNO for Yes and No, IDCANCEL for OK and Cancel
// or Retry and Cancel, IDOK for OK alone), so that a box nobody answered never
// reads as consent.
//
// Boxes are shown on the GUI thread; a call from another thread waits for it.
#pragma once

#include "mfc/cstring.h"
#include "mfc/message_ids.h"
#include "win32/types.h"

// The common library's error record: a box only reads it, so its name is all
// this interface needs (the caller has the record from the common library).
class CTlxPcCmnErrInfo;

inline constexpr UINT MB_OK = 0x00;
inline constexpr UINT MB_OKCANCEL = 0x01;
inline constexpr UINT MB_YESNO = 0x04;
inline constexpr UINT MB_RETRYCANCEL = 0x05;
inline constexpr UINT MB_ICONQUESTION = 0x20;
inline constexpr UINT MB_ICONEXCLAMATION = 0x30;
inline constexpr UINT MB_ICONINFORMATION = 0x40;
inline constexpr UINT MB_TYPEMASK = 0x0F;
inline constexpr UINT MB_ICONMASK = 0xF0;

// Shows message `id`; returns the button pressed.
int nTlxPcMessageBox(UINT id, UINT style, HWND owner);
// As nTlxPcMessageBox, with the error record (may be null) on a line of its
// own below the text: "(module-class-line-error)", as "(2-1-454-4)".
int nTlxPcMessageBoxEx(UINT id, UINT style, const CTlxPcCmnErrInfo* errInfo, HWND owner);
// Shows a ready-made text (null shows an empty one).
int nTlxPcMessageBoxEx2(const WCHAR* text, UINT style, HWND owner);
// The text of message `id`; FALSE, with `text` left empty, when there is none.
BOOL bTlxPcGetMessage(UINT id, CString& text);
// 0 suppresses every following box, 1 shows them again. Returns the setting
// it replaces.
int nTlxPcMessageSetShowFlag(int show);

// Help: a count of initialisations that the user-interface libraries take and
// give back in pairs, and opening the help file at a topic.
//
// The help itself goes to a presenter, called as HtmlHelpW would be. There is
// no help viewer on this platform: the default presenter writes one log line
// for each topic asked for and nothing for the initialisation commands. Tests
// install their own presenter to observe the calls.
#pragma once

#include "common/tlx_pc_cmn_region.h"
#include "mfc/cstring.h"
#include "win32/types.h"

inline constexpr UINT HH_HELP_CONTEXT = 15;
inline constexpr UINT HH_INITIALIZE = 28;
inline constexpr UINT HH_UNINITIALIZE = 29;

// file: the help file (null for the initialisation commands); command: one of
// the HH_ values; data: the address of the help cookie (HH_INITIALIZE), the
// cookie (HH_UNINITIALIZE) or the topic's context id (HH_HELP_CONTEXT).
using TlxPcCmnHelpPresenter = void (*)(const WCHAR* file, UINT command, DWORD_PTR data);

// Installs the presenter (null: the default one); returns the one it replaces.
// The presenter runs with the help count locked, so it must not call the
// functions below.
TlxPcCmnHelpPresenter TlxPcCmnSetHelpPresenter(TlxPcCmnHelpPresenter presenter);

// At count 0 the presenter initialises; the count goes up by one. The library
// takes one count when it is loaded and gives it back when it is unloaded.
void TlxPcCmnHtmlHelpInitialize();
// At count 1 the presenter uninitialises; a non-zero count goes down by one.
// At 0 nothing happens.
void TlxPcCmnHtmlHelpUninitialize();
// The help file of a region's row: the row's own, else the default one
// (string 19950 of the resource chain).
CString TlxPcCmnHelpFileOf(const TlxPcCmnRegionRow& row);
// Opens the build's help file at the topic.
void TlxPcCmnHtmlHelpContext(UINT contextId);

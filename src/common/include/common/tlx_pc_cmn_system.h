// System checks the user-interface libraries share, and the TV-tuner flag
// that the libraries of one process share through this library.
#pragma once

#include "win32/types.h"

// TRUE: the player always takes the paths of the newer system (its font
// names, renderer order and caption offsets).
BOOL TlxPcCmnIsWindowsVistaOrNewer();
// TRUE: the graphics interfaces the player needs are part of this platform
// (the layers in place of them are built in).
BOOL TlxPcCmnIsDX9Installed();
// TRUE when the process runs with the administrator's rights (effective user
// id 0).
BOOL TlxPcCmnIsCurrentUserLocalAdministrator();

// The TV-tuner-enabled flag: false when the library is loaded; the settings
// library sets it, the panel and the stream engine read it. Any thread.
bool GetTVTunerEnabled();
void SetTVTunerEnabled(bool enabled);

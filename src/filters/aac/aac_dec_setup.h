// The filter's registration: its name, merit and pins.
#pragma once

#include "dshow/interfaces.h"

extern const AMOVIESETUP_FILTER g_AacDecSetup;

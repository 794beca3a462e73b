// The window layer in one include: handles and messages, windows, threads and
// the application.
#pragma once

#include "mfc/cmd_target.h"
#include "mfc/controls.h"
#include "mfc/cstring.h"
#include "mfc/dialog.h"
#include "mfc/drop_files.h"
#include "mfc/frame_wnd.h"
#include "mfc/gdi.h"
#include "mfc/geometry.h"
#include "mfc/keys.h"
#include "mfc/menu.h"
#include "mfc/message_ids.h"
#include "mfc/shell.h"
#include "mfc/win_app.h"
#include "mfc/win_thread.h"
#include "mfc/winuser.h"
#include "mfc/wnd.h"

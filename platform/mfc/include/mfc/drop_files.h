// Files dropped on a window: a window that accepts them (DragAcceptFiles, or
// WS_EX_ACCEPTFILES) gets WM_DROPFILES with a drop handle for each drop of
// local files, reads the paths with DragQueryFile and releases the handle with
// DragFinish. Drops that carry no local file are refused.
#pragma once

#include <QStringList>

#include "win32/types.h"

struct HDROP__;
using HDROP = HDROP__*;

// Lets the window take drops of files, or stops it (sets or clears its
// WS_EX_ACCEPTFILES). GUI thread.
void DragAcceptFiles(HWND hwnd, BOOL accept);

// With index 0xFFFFFFFF the number of files. Otherwise the path of file
// `index` ('/' separators): without a buffer its length, with one copied and
// cut to fit `count` units with the terminating zero, returning the units
// copied without it. 0 for a bad index or a drop that was finished. Any thread.
UINT DragQueryFileW(HDROP drop, UINT index, WCHAR* file, UINT count);
inline UINT DragQueryFile(HDROP drop, UINT index, WCHAR* file, UINT count) {
  return DragQueryFileW(drop, index, file, count);
}
// Releases the drop; its handle is dead from then on (values are not reused).
void DragFinish(HDROP drop);

namespace tlx::mfc {
// A drop handle for these paths, live until DragFinish.
HDROP MakeDrop(const QStringList& paths);
}  // namespace tlx::mfc

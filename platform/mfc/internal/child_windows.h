// A window's child windows in creation order, and their WS_GROUP groups.
#pragma once

#include <vector>

class CWnd;

namespace tlx::mfc {
std::vector<CWnd*> ChildWindows(const CWnd* parent);
// The group of `control`: from the nearest control at or before it with
// WS_GROUP up to the next control with WS_GROUP.
std::vector<CWnd*> GroupOf(const CWnd* control);
}  // namespace tlx::mfc

// What an image list box draws for a row and which row the mouse is on. The
// list box calls these; they touch no window.
#pragma once

#include <optional>

#include "win32/types.h"

namespace tlx::common {

// A row's look: its background, text colour and family icon come in three
// forms.
enum class RowLook { kNormal, kSelected, kHover };

struct RowDraw {
  RowLook look;
  int markIcon;  // the property-mark icon, 1 to 5 in the order they are given
};

// How the selection was last set.
inline constexpr int kSourceOther = 0;
inline constexpr int kSourceMouse = 1;  // by mouse movement
inline constexpr int kSourceClick = 2;  // by a click

struct RowState {
  UINT action = 0;  // ODA_DRAWENTIRE, ODA_SELECT
  bool selected = false;
  int source = kSourceOther;
  bool hasMark = false;
  int lastMouseX = 0;
  int markX = 0;
};

// The normal look, drawn first; none when the action asks for neither.
std::optional<RowDraw> RowNormalDraw(const RowState& row);
// The look drawn over it for a selected row; none for a row not selected.
std::optional<RowDraw> RowSelectedDraw(const RowState& row);

// The row at client y for rows `itemHeight` high, -1 below the last row,
// above the first or while the height is 0 (no background loaded).
int MouseRow(int y, int itemHeight, int rowCount);

}  // namespace tlx::common

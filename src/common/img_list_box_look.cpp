#include "common/img_list_box_look.h"

#include "mfc/controls.h"

namespace tlx::common {

std::optional<RowDraw> RowNormalDraw(const RowState& row) {
  bool drawEntire = (row.action & ODA_DRAWENTIRE) != 0;
  bool deselect = (row.action & ODA_SELECT) != 0 && !row.selected;
  if (!drawEntire && !deselect) return std::nullopt;
  return RowDraw{RowLook::kNormal, 1};
}

std::optional<RowDraw> RowSelectedDraw(const RowState& row) {
  if (!row.selected || (row.action & (ODA_DRAWENTIRE | ODA_SELECT)) == 0) return std::nullopt;
  if (row.source == kSourceClick) {
    if (row.hasMark && row.lastMouseX > row.markX) return RowDraw{RowLook::kHover, 2};
    return RowDraw{RowLook::kSelected, 5};
  }
  return RowDraw{RowLook::kHover, row.lastMouseX < row.markX ? 4 : 3};
}

int MouseRow(int y, int itemHeight, int rowCount) {
  if (itemHeight <= 0 || y < 0) return -1;
  int row = y / itemHeight;
  return row < rowCount ? row : -1;
}

}  // namespace tlx::common

// The image list box of the player's dialogs and the record of each of its
// rows.
#pragma once

#include "mfc/cstring.h"
#include "win32/types.h"

// One row: its text, its base-station family icon (2: the first family, 3:
// the second, else none) and whether it shows the property mark.
class CExtItem {
 public:
  CExtItem(CString text, int iconType, int prptyMark);
  CExtItem(const CExtItem&) = default;
  CExtItem& operator=(const CExtItem&) = default;

  // Replaces the text; the icon type and the mark only when given non-zero.
  void setExtItem(CString text, int iconType, int prptyMark);
  // Copies the fields out; null pointers are skipped.
  void getExtItem(CString* text, int* iconType, int* prptyMark) const;

  CString m_strText;
  int m_nIconType;
  int m_nPrptyMark;
};

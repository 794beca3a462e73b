#include "common/tlx_pc_cmn_img_list_box.h"

#include <utility>

CExtItem::CExtItem(CString text, int iconType, int prptyMark)
    : m_strText(std::move(text)), m_nIconType(iconType), m_nPrptyMark(prptyMark) {}

void CExtItem::setExtItem(CString text, int iconType, int prptyMark) {
  m_strText = std::move(text);
  if (iconType != 0) m_nIconType = iconType;
  if (prptyMark != 0) m_nPrptyMark = prptyMark;
}

void CExtItem::getExtItem(CString* text, int* iconType, int* prptyMark) const {
  if (text != nullptr) *text = m_strText;
  if (iconType != nullptr) *iconType = m_nIconType;
  if (prptyMark != nullptr) *prptyMark = m_nPrptyMark;
}

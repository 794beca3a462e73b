#include "mfc/controls.h"

#include <QLabel>
#include <QPainter>
#include <QStyle>

#include "mfc/controls/control_widget.h"
#include "mfc/controls/group_box.h"
#include "mfc/internal/control_classes.h"

using namespace tlx::mfc;

IMPLEMENT_DYNAMIC(CStatic, CWnd)

// Static text and pictures.

QWidget* CStatic::CreateWidget(QWidget* parent, const CREATESTRUCT&) { return new QLabel(parent); }

void CStatic::ApplyText(const QString& text) {
  if (auto* label = As<QLabel>(m_pWidget)) label->setText(text);
}

CBitmap* CStatic::SetBitmap(CBitmap* bitmap) {
  return reinterpret_cast<CBitmap*>(SendMessage(STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap)));
}

LRESULT CStatic::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != STM_SETIMAGE || wParam != IMAGE_BITMAP) return CWnd::DefWindowProc(message, wParam, lParam);
  CBitmap* old = std::exchange(m_pBitmap, reinterpret_cast<CBitmap*>(lParam));
  if (auto* label = As<QLabel>(m_pWidget)) {
    if (m_pBitmap != nullptr && m_pBitmap->created) {
      label->setPixmap(QPixmap::fromImage(m_pBitmap->image()));
    } else {
      label->clear();
    }
  }
  return reinterpret_cast<LRESULT>(old);
}

// Group boxes: buttons by class, frames like static text.

void GroupBoxWidget::SetCaption(const QString& caption) {
  caption_ = caption;
  update();
}

void GroupBoxWidget::paintEvent(QPaintEvent*) {
  constexpr int kIndent = 6;  // from the left edge to the caption's gap
  constexpr int kGap = 2;     // between the line's ends and the caption
  QPainter painter(this);
  QFontMetrics metrics = fontMetrics();
  int top = metrics.height() / 2;
  QRect caption;
  QRegion lines(rect());
  if (!caption_.isEmpty()) {
    caption = QRect(kIndent, 0, metrics.horizontalAdvance(caption_) + 2 * kGap, metrics.height());
    lines -= caption;
  }
  // A dark line with a light one beside it, inside the widget's rectangle.
  QRect dark(0, top, width() - 2, height() - top - 2);
  painter.setClipRegion(lines);
  painter.setPen(palette().color(QPalette::Mid));
  painter.drawRect(dark);
  painter.setPen(palette().color(QPalette::Light));
  painter.drawRect(dark.translated(1, 1));
  painter.setClipping(false);
  style()->drawItemText(&painter, caption.adjusted(kGap, 0, -kGap, 0), Qt::AlignLeft | Qt::AlignTop, palette(),
                        isEnabled(), caption_, QPalette::WindowText);
}

namespace {

// The classes of this file, registered with the window core as the library
// loads.
[[maybe_unused]] const bool kRegistered =
    RegisterControlClass({u"Static", []() -> CWnd* { return new CStatic; }, AsksColours<CTLCOLOR_STATIC>});

}  // namespace

#include "mfc/controls.h"

#include <QProgressBar>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QToolButton>
#include <QVBoxLayout>

#include "mfc/controls/control_widget.h"
#include "mfc/internal/control_classes.h"

using namespace tlx::mfc;

// Up-down arrows.

QWidget* CSpinButtonCtrl::CreateWidget(QWidget* parent, const CREATESTRUCT&) {
  auto* box = new QWidget(parent);
  auto* layout = new QVBoxLayout(box);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  auto* up = new QToolButton(box);
  up->setArrowType(Qt::UpArrow);
  up->setObjectName("up");
  auto* down = new QToolButton(box);
  down->setArrowType(Qt::DownArrow);
  down->setObjectName("down");
  layout->addWidget(up);
  layout->addWidget(down);
  auto step = [box](int delta) {
    if (auto* self = dynamic_cast<CSpinButtonCtrl*>(Owner(box))) self->Step(delta);
  };
  QObject::connect(up, &QToolButton::clicked, box, [step] { step(1); });
  QObject::connect(down, &QToolButton::clicked, box, [step] { step(-1); });
  return box;
}

void CSpinButtonCtrl::SetRange(int lower, int upper) {
  m_nLower = lower;
  m_nUpper = upper;
  m_nPos = std::clamp(m_nPos, std::min(lower, upper), std::max(lower, upper));
}

int CSpinButtonCtrl::SetPos(int pos) {
  return std::exchange(m_nPos, std::clamp(pos, std::min(m_nLower, m_nUpper), std::max(m_nLower, m_nUpper)));
}

void CSpinButtonCtrl::Step(int delta) {
  NMUPDOWN change{};
  change.iPos = m_nPos;
  change.iDelta = delta;
  HWND self = m_hWnd;
  if (NotifyParent(&change.hdr, UDN_DELTAPOS) != 0 || !IsWindow(self)) return;
  SetPos(m_nPos + change.iDelta);
  if (CWnd* parent = GetParent()) {
    parent->SendMessage(WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, m_nPos), reinterpret_cast<LPARAM>(m_hWnd));
  }
}

// Trackbars.

QWidget* CSliderCtrl::CreateWidget(QWidget* parent, const CREATESTRUCT&) {
  auto* slider = new QSlider(Qt::Horizontal, parent);
  auto scroll = [slider](UINT code) {
    CWnd* self = Owner(slider);
    CWnd* parent = self == nullptr ? nullptr : self->GetParent();
    if (parent == nullptr) return;
    parent->SendMessage(WM_HSCROLL, MAKEWPARAM(static_cast<int>(code), slider->sliderPosition()),
                        reinterpret_cast<LPARAM>(self->m_hWnd));
  };
  QObject::connect(slider, &QAbstractSlider::actionTriggered, slider, [slider, scroll](int action) {
    // The position the action leads to is set after this signal.
    switch (action) {
      case QAbstractSlider::SliderSingleStepSub:
        QMetaObject::invokeMethod(slider, [scroll] { scroll(SB_LINELEFT); }, Qt::QueuedConnection);
        break;
      case QAbstractSlider::SliderSingleStepAdd:
        QMetaObject::invokeMethod(slider, [scroll] { scroll(SB_LINERIGHT); }, Qt::QueuedConnection);
        break;
      case QAbstractSlider::SliderPageStepSub:
        QMetaObject::invokeMethod(slider, [scroll] { scroll(SB_PAGELEFT); }, Qt::QueuedConnection);
        break;
      case QAbstractSlider::SliderPageStepAdd:
        QMetaObject::invokeMethod(slider, [scroll] { scroll(SB_PAGERIGHT); }, Qt::QueuedConnection);
        break;
      default:
        break;
    }
  });
  QObject::connect(slider, &QAbstractSlider::sliderMoved, slider, [scroll] { scroll(SB_THUMBTRACK); });
  QObject::connect(slider, &QAbstractSlider::sliderReleased, slider, [scroll] { scroll(SB_THUMBPOSITION); });
  return slider;
}

void CSliderCtrl::SetRange(int minimum, int maximum, BOOL) {
  QSignalBlocker quiet(m_pWidget);
  As<QSlider>(m_pWidget)->setRange(minimum, maximum);
}

void CSliderCtrl::SetPos(int pos) {
  QSignalBlocker quiet(m_pWidget);
  As<QSlider>(m_pWidget)->setValue(pos);
}

int CSliderCtrl::GetPos() const { return As<QSlider>(m_pWidget)->sliderPosition(); }

void CSliderCtrl::GetThumbRect(LPRECT rect) const {
  const_cast<CSliderCtrl*>(this)->SendMessage(TBM_GETTHUMBRECT, 0, reinterpret_cast<LPARAM>(rect));
}

LRESULT CSliderCtrl::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  auto* slider = As<QSlider>(m_pWidget);
  if (message != TBM_GETTHUMBRECT || slider == nullptr || lParam == 0) {
    return CWnd::DefWindowProc(message, wParam, lParam);
  }
  QStyleOptionSlider option;
  option.initFrom(slider);
  option.orientation = slider->orientation();
  option.minimum = slider->minimum();
  option.maximum = slider->maximum();
  option.sliderPosition = slider->sliderPosition();
  option.sliderValue = slider->value();
  QRect r = slider->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, slider);
  *reinterpret_cast<RECT*>(lParam) = RECT{r.x(), r.y(), r.x() + r.width(), r.y() + r.height()};
  return 0;
}

// Progress bars.

QWidget* CProgressCtrl::CreateWidget(QWidget* parent, const CREATESTRUCT& cs) {
  auto* bar = new QProgressBar(parent);
  bar->setOrientation((cs.style & PBS_VERTICAL) ? Qt::Vertical : Qt::Horizontal);
  bar->setRange(0, 100);
  bar->setValue(0);
  bar->setTextVisible(false);
  return bar;
}

LRESULT CProgressCtrl::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  auto* bar = As<QProgressBar>(m_pWidget);
  if (bar == nullptr) return CWnd::DefWindowProc(message, wParam, lParam);
  int pos = bar->value();
  switch (message) {
    case PBM_SETRANGE: {
      int old = MAKELONG(static_cast<WORD>(bar->minimum()), static_cast<WORD>(bar->maximum()));
      bar->setRange(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
      return old;
    }
    case PBM_SETPOS:
      bar->setValue(std::clamp(static_cast<int>(wParam), bar->minimum(), bar->maximum()));
      return pos;
    case PBM_SETSTEP:
      return std::exchange(m_nStep, static_cast<int>(wParam));
    case PBM_STEPIT: {
      // Past the end the position wraps to the start, as on Windows.
      int next = pos + m_nStep;
      if (next > bar->maximum()) next = bar->minimum() + (next - bar->maximum());
      bar->setValue(std::clamp(next, bar->minimum(), bar->maximum()));
      return pos;
    }
    case PBM_GETPOS:
      return pos;
    default:
      return CWnd::DefWindowProc(message, wParam, lParam);
  }
}

namespace {

// The classes of this file, registered with the window core as the library
// loads.
[[maybe_unused]] const bool kRegistered =
    RegisterControlClass({u"msctls_updown32", []() -> CWnd* { return new CSpinButtonCtrl; }}) &&
    RegisterControlClass({u"msctls_trackbar32", []() -> CWnd* { return new CSliderCtrl; }}) &&
    RegisterControlClass({u"msctls_progress32", []() -> CWnd* { return new CProgressCtrl; }});

}  // namespace

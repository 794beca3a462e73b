#include "mfc/gdi.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <cstring>
#include <limits>

#include "mfc/internal/wnd_bridge.h"
#include "mfc/resources.h"
#include "mfc/wnd.h"
#include "win32/muldiv.h"

namespace {

QRect ToQRect(int l, int t, int r, int b) { return QRect(l, t, std::max(0, r - l), std::max(0, b - t)); }

constexpr int kDpi = 96;

}  // namespace

COLORREF GetSysColor(int index) {
  switch (index) {
    case COLOR_BTNFACE:
      return RGB(0xF0, 0xF0, 0xF0);
    case COLOR_WINDOW:
    case COLOR_HIGHLIGHTTEXT:
      return RGB(0xFF, 0xFF, 0xFF);
    case COLOR_HIGHLIGHT:
      return RGB(0x00, 0x78, 0xD7);
    case COLOR_GRAYTEXT:
      return RGB(0x6D, 0x6D, 0x6D);
    default:
      return RGB(0, 0, 0);
  }
}

int GetSystemMetrics(int index) {
  QScreen* screen = QGuiApplication::primaryScreen();
  switch (index) {
    case SM_CXSCREEN:
      return screen ? screen->geometry().width() : 0;
    case SM_CYSCREEN:
      return screen ? screen->geometry().height() : 0;
    case SM_CXFRAME:
    case SM_CYFRAME:
      return 4;
    case SM_CXVSCROLL:
      return 17;
    case SM_CXICON:
    case SM_CYICON:
      return 32;
    default:
      return 0;
  }
}

BOOL CGdiObject::DeleteObject() {
  Reset();
  return TRUE;
}

BOOL CPen::CreatePen(int s, int w, COLORREF c) {
  style = s;
  width = std::max(1, w);
  color = c;
  created = true;
  return TRUE;
}

BOOL CBrush::CreateSolidBrush(COLORREF c) {
  color = c;
  hollow = false;
  created = true;
  return TRUE;
}

BOOL CFont::CreateFontIndirect(const LOGFONT* lf) {
  if (lf == nullptr) return FALSE;
  log_ = *lf;
  QFont font;
  size_t len = 0;
  while (len < LF_FACESIZE && lf->lfFaceName[len] != 0) ++len;
  // Face names go to fontconfig, which substitutes the nearest installed one.
  if (len > 0) font.setFamily(QString::fromUtf16(lf->lfFaceName, static_cast<qsizetype>(len)));
  if (lf->lfHeight < 0) {
    font.setPixelSize(-lf->lfHeight);
  } else if (lf->lfHeight > 0) {
    // A cell height: scale the character height so ascent + descent fit.
    font.setPixelSize(lf->lfHeight);
    int cell = QFontMetrics(font).height();
    if (cell > 0) font.setPixelSize(std::max(1, lf->lfHeight * lf->lfHeight / cell));
  }
  if (lf->lfWeight > 0) font.setWeight(QFont::Weight(std::clamp<int>(lf->lfWeight, 1, 1000)));
  font.setItalic(lf->lfItalic != 0);
  font.setUnderline(lf->lfUnderline != 0);
  font.setStrikeOut(lf->lfStrikeOut != 0);
  font.setStyleStrategy(lf->lfQuality == NONANTIALIASED_QUALITY ? QFont::NoAntialias : QFont::PreferAntialias);
  font_ = font;
  created = true;
  return TRUE;
}

BOOL CFont::CreatePointFontIndirect(const LOGFONT* lf, CDC* /*dc*/) {
  if (lf == nullptr) return FALSE;
  LOGFONT pixels = *lf;
  pixels.lfHeight = -std::abs(MulDiv(lf->lfHeight, kDpi, 720));
  return CreateFontIndirect(&pixels);
}

BOOL CFont::CreatePointFont(int pointSize, const WCHAR* faceName, CDC* dc) {
  LOGFONT lf{};
  lf.lfHeight = pointSize;
  lf.lfWeight = FW_NORMAL;
  for (int i = 0; faceName != nullptr && i < LF_FACESIZE - 1 && faceName[i] != 0; ++i) lf.lfFaceName[i] = faceName[i];
  return CreatePointFontIndirect(&lf, dc);
}

int CFont::GetLogFont(LOGFONT* lf) const {
  if (lf == nullptr || !created) return 0;
  *lf = log_;
  return sizeof(LOGFONT);
}

BOOL CBitmap::LoadBitmap(UINT id) {
  QImage image;
  if (!tlx::mfc::LoadResourceImage(id, &image)) return FALSE;
  return Attach(image);
}

BOOL CBitmap::CreateCompatibleBitmap(CDC* /*dc*/, int width, int height) {
  if (width <= 0 || height <= 0) return FALSE;
  QImage image(width, height, QImage::Format_RGB32);
  if (image.isNull()) return FALSE;
  image.fill(Qt::black);
  return Attach(image);
}

BOOL CBitmap::Attach(const QImage& image) {
  if (image.isNull()) return FALSE;
  image_ = image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                         : QImage::Format_RGB32);
  created = true;
  return TRUE;
}

BOOL CImage::Load(const void* data, size_t size) {
  Destroy();
  if (data == nullptr || size == 0 || size > static_cast<size_t>(std::numeric_limits<int>::max())) return FALSE;
  // Qt's image reader bounds what one decode may allocate.
  QImage image = QImage::fromData(static_cast<const uchar*>(data), static_cast<int>(size));
  return bitmap_.Attach(image);
}

void CImage::Destroy() { bitmap_.DeleteObject(); }

BOOL CImage::BitBlt(HDC dc, int x, int y, DWORD rop) {
  CDC* target = CDC::FromHandle(dc);
  if (target == nullptr || IsNull()) return FALSE;
  CDC memory;
  memory.CreateCompatibleDC(target);
  memory.SelectObject(&bitmap_);
  return target->BitBlt(x, y, GetWidth(), GetHeight(), &memory, 0, 0, rop);
}

int CBitmap::GetBitmap(BITMAP* bm) const {
  if (bm == nullptr || !created) return 0;
  *bm = BITMAP{0, image_.width(), image_.height(), static_cast<LONG>(image_.bytesPerLine()), 1,
               static_cast<WORD>(image_.depth()), nullptr};
  return sizeof(BITMAP);
}

BOOL CRgn::CreateRectRgn(int l, int t, int r, int b) {
  path_ = QPainterPath();
  path_.addRect(ToQRect(l, t, r, b));
  created = true;
  return TRUE;
}

BOOL CRgn::CreateRoundRectRgn(int l, int t, int r, int b, int ellipseWidth, int ellipseHeight) {
  path_ = QPainterPath();
  path_.addRoundedRect(ToQRect(l, t, r, b), ellipseWidth / 2.0, ellipseHeight / 2.0);
  created = true;
  return TRUE;
}

BOOL CRgn::PtInRegion(int x, int y) const { return path_.contains(QPointF(x + 0.5, y + 0.5)) ? TRUE : FALSE; }

CGdiObject* GetStockObject(int index) {
  static CBrush* nullBrush = [] {
    auto* brush = new CBrush();
    brush->hollow = true;
    brush->created = true;
    return brush;
  }();
  static CFont* guiFont = [] {
    auto* font = new CFont();
    LOGFONT lf{};
    lf.lfHeight = -12;
    lf.lfWeight = FW_NORMAL;
    font->CreateFontIndirect(&lf);
    return font;
  }();
  switch (index) {
    case NULL_BRUSH:
      return nullBrush;
    case DEFAULT_GUI_FONT:
      return guiFont;
    default:
      return nullptr;
  }
}

CDC::CDC() { m_hDC = reinterpret_cast<HDC>(this); }

CDC::~CDC() { End(); }

void CDC::Begin(QPaintDevice* device) {
  End();
  painter_ = std::make_unique<QPainter>(device);
  painter_->setRenderHint(QPainter::Antialiasing, false);
  painter_->setRenderHint(QPainter::TextAntialiasing, true);
}

void CDC::End() {
  if (painter_) painter_->end();
  painter_.reset();
}

BOOL CDC::CreateCompatibleDC(CDC* /*dc*/) { return TRUE; }

BOOL CDC::DeleteDC() {
  End();
  bitmap_ = nullptr;
  return TRUE;
}

CPen* CDC::SelectObject(CPen* pen) {
  CPen* old = pen_;
  pen_ = pen;
  return old;
}

CBrush* CDC::SelectObject(CBrush* brush) {
  CBrush* old = brush_;
  brush_ = brush;
  return old;
}

CFont* CDC::SelectObject(CFont* font) {
  CFont* old = font_;
  font_ = font;
  return old;
}

CBitmap* CDC::SelectObject(CBitmap* bitmap) {
  CBitmap* old = bitmap_;
  End();
  bitmap_ = bitmap;
  if (bitmap_ != nullptr && bitmap_->created) Begin(&bitmap_->image());
  return old;
}

CGdiObject* CDC::SelectStockObject(int index) {
  CGdiObject* object = GetStockObject(index);
  if (object == nullptr) return nullptr;
  if (object->kind() == CGdiObject::Kind::kBrush) return SelectObject(static_cast<CBrush*>(object));
  if (object->kind() == CGdiObject::Kind::kFont) return SelectObject(static_cast<CFont*>(object));
  return nullptr;
}

COLORREF CDC::SetTextColor(COLORREF color) { return std::exchange(textColor_, color); }
COLORREF CDC::SetBkColor(COLORREF color) { return std::exchange(bkColor_, color); }
int CDC::SetBkMode(int mode) { return std::exchange(bkMode_, mode); }

void CDC::FillRect(LPCRECT rect, CBrush* brush) {
  if (!painter_ || rect == nullptr || brush == nullptr || brush->hollow) return;
  painter_->fillRect(ToQRect(rect->left, rect->top, rect->right, rect->bottom), ToQColor(brush->color));
}

void CDC::FillSolidRect(LPCRECT rect, COLORREF color) {
  if (rect == nullptr) return;
  FillSolidRect(rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, color);
}

void CDC::FillSolidRect(int x, int y, int cx, int cy, COLORREF color) {
  SetBkColor(color);
  if (!painter_) return;
  painter_->fillRect(QRect(x, y, std::max(0, cx), std::max(0, cy)), ToQColor(color));
}

BOOL CDC::Rectangle(int l, int t, int r, int b) {
  if (!painter_ || r - l < 1 || b - t < 1) return FALSE;
  // The brush fills the inside, the pen draws the outline inside the edges.
  if (brush_ == nullptr || !brush_->hollow) {
    painter_->fillRect(ToQRect(l, t, r, b), ToQColor(brush_ ? brush_->color : RGB(0xFF, 0xFF, 0xFF)));
  }
  if (pen_ == nullptr || pen_->style != PS_NULL) {
    painter_->setPen(QPen(ToQColor(pen_ ? pen_->color : 0), 1));
    painter_->setBrush(Qt::NoBrush);
    painter_->drawRect(QRect(l, t, r - l - 1, b - t - 1));
  }
  return TRUE;
}

CPoint CDC::MoveTo(int x, int y) { return std::exchange(pos_, CPoint(x, y)); }

BOOL CDC::LineTo(int x, int y) {
  if (!painter_) return FALSE;
  // The end point is not drawn.
  if (pen_ == nullptr || pen_->style != PS_NULL) {
    painter_->setPen(QPen(ToQColor(pen_ ? pen_->color : 0), pen_ ? pen_->width : 1));
    QPoint from(pos_.x, pos_.y);
    QPoint to(x, y);
    QPoint step((to.x() > from.x()) - (to.x() < from.x()), (to.y() > from.y()) - (to.y() < from.y()));
    if (from != to) painter_->drawLine(from, to - step);
  }
  pos_ = CPoint(x, y);
  return TRUE;
}

BOOL CDC::FillRgn(CRgn* region, CBrush* brush) {
  if (!painter_ || region == nullptr || brush == nullptr || brush->hollow) return FALSE;
  painter_->fillPath(region->path(), ToQColor(brush->color));
  return TRUE;
}

BOOL CDC::FrameRgn(CRgn* region, CBrush* brush, int width, int height) {
  if (!painter_ || region == nullptr || brush == nullptr || brush->hollow) return FALSE;
  // The frame is the region less the region shrunk by the frame's thickness.
  QRectF bounds = region->path().boundingRect();
  QTransform shrink;
  if (bounds.width() > 2 * width && bounds.height() > 2 * height) {
    shrink.translate(bounds.center().x(), bounds.center().y());
    shrink.scale((bounds.width() - 2 * width) / bounds.width(), (bounds.height() - 2 * height) / bounds.height());
    shrink.translate(-bounds.center().x(), -bounds.center().y());
  } else {
    shrink.scale(0, 0);
  }
  QPainterPath frame = region->path().subtracted(shrink.map(region->path()));
  painter_->fillPath(frame, ToQColor(brush->color));
  return TRUE;
}

int CDC::ExcludeClipRect(int l, int t, int r, int b) {
  if (!painter_) return 0;
  QRegion current = painter_->hasClipping() ? painter_->clipRegion()
                                            : QRegion(0, 0, painter_->device()->width(), painter_->device()->height());
  painter_->setClipRegion(current.subtracted(QRegion(ToQRect(l, t, r, b))));
  return 1;
}

int CDC::IntersectClipRect(int l, int t, int r, int b) {
  if (!painter_) return 0;
  painter_->setClipRect(ToQRect(l, t, r, b), painter_->hasClipping() ? Qt::IntersectClip : Qt::ReplaceClip);
  return 1;
}

QImage* CDC::SourceImage() const {
  return bitmap_ != nullptr && bitmap_->created ? &bitmap_->image() : nullptr;
}

BOOL CDC::BitBlt(int x, int y, int width, int height, CDC* src, int srcX, int srcY, DWORD rop) {
  return StretchBlt(x, y, width, height, src, srcX, srcY, width, height, rop);
}

BOOL CDC::StretchBlt(int x, int y, int width, int height, CDC* src, int srcX, int srcY, int srcWidth,
                     int srcHeight, DWORD /*rop*/) {
  QImage* image = src == nullptr ? nullptr : src->SourceImage();
  if (!painter_ || image == nullptr) return FALSE;
  painter_->drawImage(QRect(x, y, width, height), *image, QRect(srcX, srcY, srcWidth, srcHeight));
  return TRUE;
}

BOOL CDC::TransparentBlt(int x, int y, int width, int height, CDC* src, int srcX, int srcY, int srcWidth,
                         int srcHeight, UINT transparent) {
  QImage* image = src == nullptr ? nullptr : src->SourceImage();
  if (!painter_ || image == nullptr) return FALSE;
  QImage part = image->copy(srcX, srcY, srcWidth, srcHeight).convertToFormat(QImage::Format_ARGB32);
  QRgb key = ToQColor(transparent).rgb();
  for (int row = 0; row < part.height(); ++row) {
    auto* line = reinterpret_cast<QRgb*>(part.scanLine(row));
    for (int col = 0; col < part.width(); ++col) {
      if ((line[col] & 0xFFFFFF) == (key & 0xFFFFFF)) line[col] = 0;
    }
  }
  painter_->drawImage(QRect(x, y, width, height), part);
  return TRUE;
}

BOOL CDC::DrawIcon(int x, int y, const QImage& icon) {
  if (!painter_ || icon.isNull()) return FALSE;
  painter_->drawImage(QRect(x, y, 32, 32), icon);
  return TRUE;
}

QFont CDC::CurrentQFont() const {
  CFont* font = font_ != nullptr ? font_ : static_cast<CFont*>(GetStockObject(DEFAULT_GUI_FONT));
  return font->qfont();
}

BOOL CDC::TextOut(int x, int y, const CString& text) {
  if (!painter_) return FALSE;
  QFont font = CurrentQFont();
  QFontMetrics metrics(font);
  QRect box(x, y, metrics.horizontalAdvance(text.qstring()), metrics.height());
  if (bkMode_ == OPAQUE) painter_->fillRect(box, ToQColor(bkColor_));
  painter_->setFont(font);
  painter_->setPen(ToQColor(textColor_));
  painter_->drawText(QPoint(x, y + metrics.ascent()), text.qstring());
  return TRUE;
}

int CDC::DrawText(const CString& text, LPRECT rect, UINT format) {
  if (rect == nullptr) return 0;
  QFont font = CurrentQFont();
  QFontMetrics metrics(font);
  QRect box = ToQRect(rect->left, rect->top, rect->right, rect->bottom);
  QString shown = text.qstring();
  bool single = (format & DT_SINGLELINE) != 0;
  if (format & DT_END_ELLIPSIS) shown = metrics.elidedText(shown, Qt::ElideRight, box.width());
  int flags = single ? Qt::TextSingleLine : ((format & DT_WORDBREAK) ? Qt::TextWordWrap : 0);
  if (format & DT_CENTER) {
    flags |= Qt::AlignHCenter;
  } else if (format & DT_RIGHT) {
    flags |= Qt::AlignRight;
  } else {
    flags |= Qt::AlignLeft;
  }
  if (single && (format & DT_VCENTER)) {
    flags |= Qt::AlignVCenter;
  } else if (single && (format & DT_BOTTOM)) {
    flags |= Qt::AlignBottom;
  } else {
    flags |= Qt::AlignTop;
  }
  QRect needed = metrics.boundingRect(box.isEmpty() ? QRect(box.topLeft(), QSize(INT_MAX / 2, INT_MAX / 2)) : box,
                                      flags, shown);
  if (format & DT_CALCRECT) {
    rect->right = rect->left + needed.width();
    rect->bottom = rect->top + needed.height();
    return needed.height();
  }
  if (!painter_) return 0;
  painter_->save();
  painter_->setClipRect(box, painter_->hasClipping() ? Qt::IntersectClip : Qt::ReplaceClip);
  if (bkMode_ == OPAQUE) painter_->fillRect(needed.intersected(box), ToQColor(bkColor_));
  painter_->setFont(font);
  painter_->setPen(ToQColor(textColor_));
  painter_->drawText(box, flags, shown);
  painter_->restore();
  return needed.height();
}

CSize CDC::GetTextExtent(const CString& text) const {
  QFontMetrics metrics(CurrentQFont());
  return CSize(metrics.horizontalAdvance(text.qstring()), metrics.height());
}

int CDC::GetDeviceCaps(int index) const { return index == LOGPIXELSX || index == LOGPIXELSY ? kDpi : 0; }

namespace {

// The client area's size and where it starts inside the widget.
QRect ClientArea(CWnd* wnd) {
  CRect client;
  wnd->GetClientRect(&client);
  POINT origin = wnd->ClientOrigin();
  return QRect(origin.x, origin.y, client.Width(), client.Height());
}

}  // namespace

void CDC::BeginOnClient(CWnd* wnd) {
  QRect area = ClientArea(wnd);
  Begin(wnd->GetWidget());
  painter()->translate(area.topLeft());
  painter()->setClipRect(QRect(QPoint(0, 0), area.size()));
}

CPaintDC::CPaintDC(CWnd* wnd) {
  if (wnd != nullptr && wnd->GetWidget() != nullptr) BeginOnClient(wnd);
}

CPaintDC::~CPaintDC() { End(); }

CClientDC::CClientDC(CWnd* wnd) {
  if (wnd == nullptr || wnd->GetWidget() == nullptr) return;
  WndBridge* bridge = WndBridge::Of(wnd->GetWidget());
  if (bridge == nullptr || bridge->Painting()) {
    BeginOnClient(wnd);
    return;
  }
  hwnd_ = wnd->m_hWnd;
  drawn_ = QImage(ClientArea(wnd).size(), QImage::Format_ARGB32_Premultiplied);
  drawn_.fill(Qt::transparent);
  Begin(&drawn_);
}

CClientDC::~CClientDC() {
  End();
  if (hwnd_ == nullptr) return;
  // The window may have gone, or changed hands, while the DC drew.
  CWnd* wnd = CWnd::FromHandle(hwnd_);
  if (wnd == nullptr || wnd->GetWidget() == nullptr) return;
  if (WndBridge* bridge = WndBridge::Of(wnd->GetWidget())) {
    bridge->AddOverlay(drawn_);
    wnd->GetWidget()->update();
  }
}

CWindowDC::CWindowDC(CWnd* wnd) {
  if (wnd != nullptr && wnd->GetWidget() != nullptr) Begin(wnd->GetWidget());
}

CWindowDC::~CWindowDC() { End(); }

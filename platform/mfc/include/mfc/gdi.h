// Painting: device contexts over QPainter and the objects they select (pens,
// brushes, fonts, bitmaps, regions), with Windows colours (COLORREF
// 0x00BBGGRR), coordinates (right and bottom edges excluded) and text layout.
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainterPath>
#include <memory>

#include "mfc/cstring.h"
#include "mfc/geometry.h"
#include "win32/types.h"

class QPainter;
class QPaintDevice;
class CWnd;

using COLORREF = DWORD;
inline constexpr COLORREF RGB(BYTE r, BYTE g, BYTE b) {
  return static_cast<COLORREF>(r) | (static_cast<COLORREF>(g) << 8) | (static_cast<COLORREF>(b) << 16);
}
inline constexpr BYTE GetRValue(COLORREF c) { return static_cast<BYTE>(c & 0xFF); }
inline constexpr BYTE GetGValue(COLORREF c) { return static_cast<BYTE>((c >> 8) & 0xFF); }
inline constexpr BYTE GetBValue(COLORREF c) { return static_cast<BYTE>((c >> 16) & 0xFF); }
// The one conversion from a Windows colour to Qt's.
inline QColor ToQColor(COLORREF c) { return QColor(GetRValue(c), GetGValue(c), GetBValue(c)); }

struct HDC__;
using HDC = HDC__*;
struct HBRUSH__;
using HBRUSH = HBRUSH__*;

// Icons: images of the resource chain, loaded once per id and shared for the
// life of the process (as the system's shared icons are), so a handle never
// dangles. Icons are drawn 32 x 32.
struct HICON__;
using HICON = HICON__*;
#define MAKEINTRESOURCEW(id) (reinterpret_cast<const WCHAR*>(static_cast<uintptr_t>(static_cast<WORD>(id))))
// The icon of resource id `name` (MAKEINTRESOURCEW); null when the chain has
// no such image or the name is not an id.
HICON LoadIcon(HINSTANCE instance, const WCHAR* name);
// Shared icons stay: TRUE for a handle LoadIcon gave, FALSE otherwise.
BOOL DestroyIcon(HICON icon);
namespace tlx::mfc {
// The icon's image; null for a handle LoadIcon did not give.
QImage IconImage(HICON icon);
}  // namespace tlx::mfc

inline constexpr int TRANSPARENT = 1;
inline constexpr int OPAQUE = 2;
inline constexpr DWORD SRCCOPY = 0x00CC0020;
inline constexpr int PS_SOLID = 0;
inline constexpr int PS_NULL = 5;
inline constexpr int LOGPIXELSX = 88;
inline constexpr int LOGPIXELSY = 90;
inline constexpr int COLOR_BTNFACE = 15;
inline constexpr int COLOR_WINDOW = 5;
inline constexpr int COLOR_WINDOWTEXT = 8;
inline constexpr int COLOR_HIGHLIGHT = 13;
inline constexpr int COLOR_HIGHLIGHTTEXT = 14;
inline constexpr int COLOR_GRAYTEXT = 17;
inline constexpr int COLOR_BTNTEXT = 18;

// DrawText formats.
inline constexpr UINT DT_LEFT = 0x0000;
inline constexpr UINT DT_CENTER = 0x0001;
inline constexpr UINT DT_RIGHT = 0x0002;
inline constexpr UINT DT_VCENTER = 0x0004;
inline constexpr UINT DT_BOTTOM = 0x0008;
inline constexpr UINT DT_WORDBREAK = 0x0010;
inline constexpr UINT DT_SINGLELINE = 0x0020;
inline constexpr UINT DT_NOPREFIX = 0x0800;
inline constexpr UINT DT_CALCRECT = 0x0400;
inline constexpr UINT DT_END_ELLIPSIS = 0x8000;

// Fonts: lfHeight negative is the character height in pixels, positive the
// cell height; weights 400 normal, 700 bold.
inline constexpr LONG FW_NORMAL = 400;
inline constexpr LONG FW_BOLD = 700;
inline constexpr BYTE NONANTIALIASED_QUALITY = 3;
inline constexpr BYTE ANTIALIASED_QUALITY = 4;
inline constexpr BYTE CLEARTYPE_QUALITY = 5;
inline constexpr int LF_FACESIZE = 32;
struct LOGFONT {
  LONG lfHeight;
  LONG lfWidth;
  LONG lfEscapement;
  LONG lfOrientation;
  LONG lfWeight;
  BYTE lfItalic;
  BYTE lfUnderline;
  BYTE lfStrikeOut;
  BYTE lfCharSet;
  BYTE lfOutPrecision;
  BYTE lfClipPrecision;
  BYTE lfQuality;
  BYTE lfPitchAndFamily;
  WCHAR lfFaceName[LF_FACESIZE];
};

// Stock objects.
inline constexpr int NULL_BRUSH = 5;
inline constexpr int DEFAULT_GUI_FONT = 17;

COLORREF GetSysColor(int index);
// Screen metrics: SM_CXSCREEN and SM_CYSCREEN of the primary screen, frames of
// our frameless windows 4 pixels, icons 32.
inline constexpr int SM_CXSCREEN = 0;
inline constexpr int SM_CYSCREEN = 1;
inline constexpr int SM_CXVSCROLL = 2;
inline constexpr int SM_CXICON = 11;
inline constexpr int SM_CYICON = 12;
inline constexpr int SM_CXFRAME = 32;
inline constexpr int SM_CYFRAME = 33;
int GetSystemMetrics(int index);

class CGdiObject {
 public:
  virtual ~CGdiObject() = default;
  BOOL DeleteObject();
  // What kind of object this is, for SelectObject.
  enum class Kind { kNone, kPen, kBrush, kFont, kBitmap, kRegion };
  Kind kind() const { return kind_; }

 protected:
  explicit CGdiObject(Kind kind) : kind_(kind) {}
  virtual void Reset() = 0;
  Kind kind_;
};

class CPen : public CGdiObject {
 public:
  CPen() : CGdiObject(Kind::kPen) {}
  CPen(int style, int width, COLORREF color) : CPen() { CreatePen(style, width, color); }
  BOOL CreatePen(int style, int width, COLORREF color);
  int style = PS_SOLID;
  int width = 1;
  COLORREF color = 0;
  bool created = false;

 protected:
  void Reset() override { created = false; }
};

class CBrush : public CGdiObject {
 public:
  CBrush() : CGdiObject(Kind::kBrush) {}
  explicit CBrush(COLORREF color) : CBrush() { CreateSolidBrush(color); }
  BOOL CreateSolidBrush(COLORREF color);
  operator HBRUSH() const { return reinterpret_cast<HBRUSH>(const_cast<CBrush*>(this)); }
  static CBrush* FromHandle(HBRUSH brush) { return reinterpret_cast<CBrush*>(brush); }
  COLORREF color = 0;
  // A hollow brush paints nothing.
  bool hollow = false;
  bool created = false;

 protected:
  void Reset() override { created = false; }
};

class CFont : public CGdiObject {
 public:
  CFont() : CGdiObject(Kind::kFont) {}
  BOOL CreateFontIndirect(const LOGFONT* lf);
  // lfHeight in tenths of a point, at 96 pixels per inch.
  BOOL CreatePointFontIndirect(const LOGFONT* lf, class CDC* dc = nullptr);
  BOOL CreatePointFont(int pointSize, const WCHAR* faceName, class CDC* dc = nullptr);
  int GetLogFont(LOGFONT* lf) const;
  const QFont& qfont() const { return font_; }
  bool created = false;

 protected:
  void Reset() override { created = false; }

 private:
  LOGFONT log_{};
  QFont font_;
};

struct BITMAP {
  LONG bmType;
  LONG bmWidth;
  LONG bmHeight;
  LONG bmWidthBytes;
  WORD bmPlanes;
  WORD bmBitsPixel;
  LPVOID bmBits;
};

class CBitmap : public CGdiObject {
 public:
  CBitmap() : CGdiObject(Kind::kBitmap) {}
  // The image `id` of the resource chain; FALSE when it has none.
  BOOL LoadBitmap(UINT id);
  BOOL CreateCompatibleBitmap(class CDC* dc, int width, int height);
  int GetBitmap(BITMAP* bm) const;
  // Takes an image as the bitmap's pixels.
  BOOL Attach(const QImage& image);
  QImage& image() { return image_; }
  const QImage& image() const { return image_; }
  bool created = false;

 protected:
  void Reset() override {
    image_ = QImage();
    created = false;
  }

 private:
  QImage image_;
};

// A decoded image file (PNG, BMP, JPEG) held as a bitmap.
class CImage {
 public:
  // Decodes the bytes of an image file, replacing the image held; FALSE when
  // they do not decode (the object is then empty).
  BOOL Load(const void* data, size_t size);
  void Destroy();
  bool IsNull() const { return !bitmap_.created; }
  int GetWidth() const { return IsNull() ? 0 : bitmap_.image().width(); }
  int GetHeight() const { return IsNull() ? 0 : bitmap_.image().height(); }
  // The picture as a bitmap (what a bitmap handle is elsewhere), owned by the
  // image and valid while it holds the picture; null when empty.
  CBitmap* GetBitmap() { return IsNull() ? nullptr : &bitmap_; }
  // Copies the picture at its own size with its top-left corner at (x, y).
  BOOL BitBlt(HDC dc, int x, int y, DWORD rop = SRCCOPY);

 private:
  CBitmap bitmap_;
};

class CRgn : public CGdiObject {
 public:
  CRgn() : CGdiObject(Kind::kRegion) {}
  BOOL CreateRectRgn(int l, int t, int r, int b);
  BOOL CreateRectRgnIndirect(LPCRECT rect) { return CreateRectRgn(rect->left, rect->top, rect->right, rect->bottom); }
  // A rectangle with corners rounded by ellipses of the given width and height.
  BOOL CreateRoundRectRgn(int l, int t, int r, int b, int ellipseWidth, int ellipseHeight);
  BOOL PtInRegion(int x, int y) const;
  const QPainterPath& path() const { return path_; }
  bool created = false;

 protected:
  void Reset() override {
    path_ = QPainterPath();
    created = false;
  }

 private:
  QPainterPath path_;
};

CGdiObject* GetStockObject(int index);

class CDC {
 public:
  CDC();
  virtual ~CDC();
  CDC(const CDC&) = delete;
  CDC& operator=(const CDC&) = delete;

  HDC m_hDC = nullptr;
  operator HDC() const { return m_hDC; }
  static CDC* FromHandle(HDC dc) { return reinterpret_cast<CDC*>(dc); }
  HDC GetSafeHdc() const { return m_hDC; }

  // A memory DC: it draws into the bitmap selected into it.
  BOOL CreateCompatibleDC(CDC* dc);
  BOOL DeleteDC();

  // Returns the object of the same kind selected before (null for none).
  CPen* SelectObject(CPen* pen);
  CBrush* SelectObject(CBrush* brush);
  CFont* SelectObject(CFont* font);
  CBitmap* SelectObject(CBitmap* bitmap);
  CGdiObject* SelectStockObject(int index);
  CFont* GetCurrentFont() const { return font_; }

  COLORREF SetTextColor(COLORREF color);
  COLORREF SetBkColor(COLORREF color);
  int SetBkMode(int mode);
  COLORREF GetTextColor() const { return textColor_; }
  COLORREF GetBkColor() const { return bkColor_; }

  void FillRect(LPCRECT rect, CBrush* brush);
  void FillSolidRect(LPCRECT rect, COLORREF color);
  void FillSolidRect(int x, int y, int cx, int cy, COLORREF color);
  BOOL Rectangle(int l, int t, int r, int b);
  BOOL Rectangle(LPCRECT rect) { return Rectangle(rect->left, rect->top, rect->right, rect->bottom); }
  CPoint MoveTo(int x, int y);
  BOOL LineTo(int x, int y);
  BOOL FillRgn(CRgn* region, CBrush* brush);
  // Frames the region with the brush, `width` by `height` pixels thick.
  BOOL FrameRgn(CRgn* region, CBrush* brush, int width, int height);
  int ExcludeClipRect(int l, int t, int r, int b);
  int ExcludeClipRect(LPCRECT rect) { return ExcludeClipRect(rect->left, rect->top, rect->right, rect->bottom); }
  int IntersectClipRect(int l, int t, int r, int b);
  int IntersectClipRect(LPCRECT rect) { return IntersectClipRect(rect->left, rect->top, rect->right, rect->bottom); }

  BOOL BitBlt(int x, int y, int width, int height, CDC* src, int srcX, int srcY, DWORD rop);
  BOOL StretchBlt(int x, int y, int width, int height, CDC* src, int srcX, int srcY, int srcWidth, int srcHeight,
                  DWORD rop);
  // Copies all but the pixels of colour `transparent`.
  BOOL TransparentBlt(int x, int y, int width, int height, CDC* src, int srcX, int srcY, int srcWidth,
                      int srcHeight, UINT transparent);
  // Draws a 32 x 32 icon image.
  BOOL DrawIcon(int x, int y, const QImage& icon);
  BOOL DrawIcon(int x, int y, HICON icon) { return DrawIcon(x, y, tlx::mfc::IconImage(icon)); }

  BOOL TextOut(int x, int y, const CString& text);
  // Lays the text out in the rectangle; with DT_CALCRECT only measures it and
  // sets the rectangle's right and bottom. Returns the text's height.
  int DrawText(const CString& text, LPRECT rect, UINT format);
  CSize GetTextExtent(const CString& text) const;

  int GetDeviceCaps(int index) const;

  // The painter of this DC; null when nothing is selected to draw on.
  QPainter* painter() const { return painter_.get(); }

 protected:
  // Starts drawing on a device; `clip` limits it in device coordinates.
  void Begin(QPaintDevice* device);
  // Starts drawing on the window's client area (the widget inside its border band).
  void BeginOnClient(CWnd* wnd);
  void End();
  QImage* SourceImage() const;

 private:
  QFont CurrentQFont() const;
  std::unique_ptr<QPainter> painter_;
  CPen* pen_ = nullptr;
  CBrush* brush_ = nullptr;
  CFont* font_ = nullptr;
  CBitmap* bitmap_ = nullptr;
  COLORREF textColor_ = 0;
  COLORREF bkColor_ = 0xFFFFFF;
  int bkMode_ = OPAQUE;
  CPoint pos_;
};

// A DC for painting a window's client area while it paints (its WM_PAINT and
// WM_ERASEBKGND handlers).
class CPaintDC : public CDC {
 public:
  explicit CPaintDC(CWnd* wnd);
  ~CPaintDC() override;
};

// A DC over a window's client area at any time on the GUI thread. While the
// window paints it draws as CPaintDC does; otherwise what it draws shows over
// the window's own painting from when the DC ends until the program
// invalidates that part of the window (Invalidate, InvalidateRect,
// RedrawWindow).
class CClientDC : public CDC {
 public:
  explicit CClientDC(CWnd* wnd);
  ~CClientDC() override;

 private:
  HWND hwnd_ = nullptr;
  QImage drawn_;
};

// A DC over the whole window, border band included, while it paints (its
// WM_NCPAINT handler).
class CWindowDC : public CDC {
 public:
  explicit CWindowDC(CWnd* wnd);
  ~CWindowDC() override;
};

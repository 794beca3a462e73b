#include <gtest/gtest.h>

#include <QIcon>
#include <QImage>
#include <QWidget>

#include "mfc/gdi.h"
#include "support/fixture_module.h"
#include "support/gui_app.h"

namespace {

// A memory DC drawing into a white bitmap.
struct Canvas {
  explicit Canvas(int width = 64, int height = 48) {
    mfc_test::EnsureApp();
    bitmap.CreateCompatibleBitmap(nullptr, width, height);
    bitmap.image().fill(Qt::white);
    dc.CreateCompatibleDC(nullptr);
    dc.SelectObject(&bitmap);
  }
  QColor At(int x, int y) {
    dc.SelectObject(static_cast<CBitmap*>(nullptr));  // ends drawing on it
    QColor c = bitmap.image().pixelColor(x, y);
    dc.SelectObject(&bitmap);
    return c;
  }
  // The box of non-white pixels, for text placement.
  QRect Ink() {
    dc.SelectObject(static_cast<CBitmap*>(nullptr));
    QRect box;
    const QImage& img = bitmap.image();
    for (int y = 0; y < img.height(); ++y)
      for (int x = 0; x < img.width(); ++x)
        if (img.pixelColor(x, y) != Qt::white) box |= QRect(x, y, 1, 1);
    dc.SelectObject(&bitmap);
    return box;
  }
  CBitmap bitmap;
  CDC dc;
};

TEST(Gdi, ColourValuesAreBgrInALong) {
  struct Case {
    COLORREF value;
    int r, g, b;
  } cases[] = {{0x0000FF, 0xFF, 0, 0}, {0xB09700, 0x00, 0x97, 0xB0}, {0xFBE741, 0x41, 0xE7, 0xFB}};
  for (const auto& c : cases) {
    EXPECT_EQ(ToQColor(c.value), QColor(c.r, c.g, c.b)) << std::hex << c.value;
    EXPECT_EQ(RGB(c.r, c.g, c.b), c.value);
    EXPECT_EQ(GetRValue(c.value), c.r);
    EXPECT_EQ(GetGValue(c.value), c.g);
    EXPECT_EQ(GetBValue(c.value), c.b);
  }
}

TEST(Gdi, FillSolidRectExcludesTheRightAndBottomEdges) {
  Canvas canvas;
  canvas.dc.FillSolidRect(2, 3, 10, 8, RGB(0xFF, 0, 0));
  EXPECT_EQ(canvas.At(2, 3), QColor(0xFF, 0, 0));
  EXPECT_EQ(canvas.At(11, 10), QColor(0xFF, 0, 0));
  EXPECT_EQ(canvas.At(12, 3), QColor(Qt::white));
  EXPECT_EQ(canvas.At(2, 11), QColor(Qt::white));
  EXPECT_EQ(canvas.dc.GetBkColor(), RGB(0xFF, 0, 0));
}

TEST(Gdi, BitBltStretchBltAndAColourKeyedTransparentBlt) {
  Canvas source(4, 2);
  source.dc.FillSolidRect(0, 0, 2, 2, RGB(0, 0, 0xFF));
  source.dc.FillSolidRect(2, 0, 2, 2, RGB(0xFF, 0, 0xFF));  // magenta: the key
  Canvas target;
  target.dc.FillSolidRect(0, 0, 64, 48, RGB(0, 0xFF, 0));
  target.dc.BitBlt(10, 10, 4, 2, &source.dc, 0, 0, SRCCOPY);
  EXPECT_EQ(target.At(10, 10), QColor(0, 0, 0xFF));
  EXPECT_EQ(target.At(13, 11), QColor(0xFF, 0, 0xFF));
  EXPECT_EQ(target.At(14, 11), QColor(0, 0xFF, 0));

  target.dc.StretchBlt(20, 20, 8, 4, &source.dc, 0, 0, 4, 2, SRCCOPY);
  EXPECT_EQ(target.At(23, 23), QColor(0, 0, 0xFF));
  EXPECT_EQ(target.At(24, 20), QColor(0xFF, 0, 0xFF));
  EXPECT_EQ(target.At(27, 23), QColor(0xFF, 0, 0xFF));
  EXPECT_EQ(target.At(28, 23), QColor(0, 0xFF, 0));

  target.dc.TransparentBlt(40, 30, 4, 2, &source.dc, 0, 0, 4, 2, RGB(0xFF, 0, 0xFF));
  EXPECT_EQ(target.At(41, 31), QColor(0, 0, 0xFF));
  EXPECT_EQ(target.At(42, 30), QColor(0, 0xFF, 0));
  EXPECT_EQ(target.At(43, 31), QColor(0, 0xFF, 0));
}

TEST(Gdi, AnImageDecodesFileBytesAndCopiesItselfAtItsOwnSize) {
  Canvas canvas;
  QImage picture(6, 4, QImage::Format_RGB32);
  picture.fill(QColor(0x20, 0x90, 0xD0));
  QByteArray png = mfc_test::Png(picture);

  CImage image;
  EXPECT_TRUE(image.IsNull());
  EXPECT_EQ(image.GetBitmap(), nullptr);
  EXPECT_FALSE(image.BitBlt(canvas.dc, 0, 0));
  ASSERT_TRUE(image.Load(png.constData(), static_cast<size_t>(png.size())));
  EXPECT_EQ(image.GetWidth(), 6);
  EXPECT_EQ(image.GetHeight(), 4);
  ASSERT_NE(image.GetBitmap(), nullptr);
  BITMAP bm{};
  image.GetBitmap()->GetBitmap(&bm);
  EXPECT_EQ(bm.bmWidth, 6);
  EXPECT_TRUE(image.BitBlt(canvas.dc, 10, 20));
  EXPECT_EQ(canvas.At(10, 20), QColor(0x20, 0x90, 0xD0));
  EXPECT_EQ(canvas.At(15, 23), QColor(0x20, 0x90, 0xD0));
  EXPECT_EQ(canvas.At(16, 23), QColor(Qt::white));
  EXPECT_EQ(canvas.At(15, 24), QColor(Qt::white));

  // Bytes that do not decode leave the image empty, as Destroy does.
  QByteArray corrupt = png.left(png.size() / 2);
  EXPECT_FALSE(image.Load(corrupt.constData(), static_cast<size_t>(corrupt.size())));
  EXPECT_TRUE(image.IsNull());
  EXPECT_EQ(image.GetWidth(), 0);
  ASSERT_TRUE(image.Load(png.constData(), static_cast<size_t>(png.size())));
  image.Destroy();
  EXPECT_TRUE(image.IsNull());
  EXPECT_EQ(image.GetBitmap(), nullptr);
}

TEST(Gdi, ARoundRectangleFrameLeavesTheCornersAndTheInside) {
  Canvas canvas;
  CRgn region;
  region.CreateRoundRectRgn(0, 0, 40, 30, 12, 12);
  CBrush brush(RGB(0, 0, 0));
  canvas.dc.FrameRgn(&region, &brush, 1, 1);
  EXPECT_EQ(canvas.At(0, 0), QColor(Qt::white));
  EXPECT_EQ(canvas.At(39, 29), QColor(Qt::white));
  EXPECT_NE(canvas.At(20, 0), QColor(Qt::white));
  EXPECT_NE(canvas.At(0, 15), QColor(Qt::white));
  EXPECT_NE(canvas.At(20, 29), QColor(Qt::white));
  EXPECT_EQ(canvas.At(20, 15), QColor(Qt::white));
  EXPECT_EQ(canvas.At(40, 15), QColor(Qt::white));
}

TEST(Gdi, RectangleAndLinesExcludeTheirEndEdges) {
  Canvas canvas;
  CPen pen(PS_SOLID, 1, RGB(0, 0, 0));
  CBrush fill(RGB(0xFF, 0, 0));
  canvas.dc.SelectObject(&pen);
  canvas.dc.SelectObject(&fill);
  canvas.dc.Rectangle(5, 5, 15, 12);
  EXPECT_EQ(canvas.At(5, 5), QColor(0, 0, 0));
  EXPECT_EQ(canvas.At(14, 11), QColor(0, 0, 0));
  EXPECT_EQ(canvas.At(10, 8), QColor(0xFF, 0, 0));
  EXPECT_EQ(canvas.At(15, 8), QColor(Qt::white));
  canvas.dc.MoveTo(20, 40);
  canvas.dc.LineTo(30, 40);
  EXPECT_EQ(canvas.At(20, 40), QColor(0, 0, 0));
  EXPECT_EQ(canvas.At(29, 40), QColor(0, 0, 0));
  EXPECT_EQ(canvas.At(30, 40), QColor(Qt::white));
}

TEST(Gdi, DrawTextAlignsAndElidesInsideItsRectangle) {
  struct Case {
    UINT format;
    const char* where;
  } cases[] = {{DT_LEFT, "left"}, {DT_CENTER, "center"}, {DT_RIGHT, "right"}};
  CRect box(4, 10, 60, 30);
  for (const auto& c : cases) {
    Canvas canvas;
    canvas.dc.SetBkMode(TRANSPARENT);
    CRect r = box;
    canvas.dc.DrawText(CString(u"Wi"), &r, c.format | DT_SINGLELINE | DT_VCENTER);
    QRect ink = canvas.Ink();
    ASSERT_FALSE(ink.isEmpty()) << c.where;
    EXPECT_TRUE(QRect(box.left, box.top, box.Width(), box.Height()).contains(ink)) << c.where;
    int middle = (box.left + box.right) / 2;
    if (c.format == DT_LEFT) {
      EXPECT_LT(ink.left() - box.left, 4);
    } else if (c.format == DT_RIGHT) {
      EXPECT_LT(box.right - 1 - ink.right(), 4);
    } else {
      EXPECT_LE(std::abs(ink.center().x() - middle), 3);
    }
    EXPECT_LE(std::abs(ink.center().y() - (box.top + box.bottom) / 2), 4) << c.where;
  }
  Canvas narrow;
  narrow.dc.SetBkMode(TRANSPARENT);
  CRect r(4, 10, 40, 30);
  narrow.dc.DrawText(CString(u"A long line that does not fit"), &r, DT_LEFT | DT_SINGLELINE | DT_END_ELLIPSIS);
  QRect ink = narrow.Ink();
  EXPECT_FALSE(ink.isEmpty());
  EXPECT_LE(ink.right(), 39);

  CRect measure(0, 0, 0, 0);
  int height = narrow.dc.DrawText(CString(u"Wide"), &measure, DT_CALCRECT | DT_SINGLELINE);
  EXPECT_GT(measure.Width(), 0);
  EXPECT_EQ(measure.Height(), height);
  EXPECT_EQ(narrow.dc.GetTextExtent(CString(u"Wide")).cx, measure.Width());
}

TEST(Gdi, PointFontsAreMeasuredAt96Dpi) {
  mfc_test::EnsureApp();
  CFont font;
  ASSERT_TRUE(font.CreatePointFont(100, u"Sans"));
  LOGFONT lf{};
  ASSERT_TRUE(font.GetLogFont(&lf));
  EXPECT_EQ(lf.lfHeight, -13);
  EXPECT_EQ(font.qfont().pixelSize(), 13);
  CDC dc;
  EXPECT_EQ(dc.GetDeviceCaps(LOGPIXELSY), 96);

  BITMAP bm{};
  CBitmap bitmap;
  ASSERT_TRUE(bitmap.CreateCompatibleBitmap(nullptr, 7, 5));
  bitmap.GetBitmap(&bm);
  EXPECT_EQ(bm.bmWidth, 7);
  EXPECT_EQ(bm.bmHeight, 5);
  EXPECT_EQ(bm.bmBitsPixel, 32);
}

TEST(Gdi, IconsLoadOncePerIdAndDrawAt32By32) {
  QImage red(16, 16, QImage::Format_RGB32);
  red.fill(QColor(0xFF, 0, 0));
  tlx::resources::ModuleBuilder builder;
  builder.Resource("ICON", 310, mfc_test::Png(red));
  mfc_test::FixtureModule fixtures(builder);
  HICON icon = LoadIcon(nullptr, MAKEINTRESOURCEW(310));
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(LoadIcon(nullptr, MAKEINTRESOURCEW(310)), icon);  // shared
  EXPECT_EQ(LoadIcon(nullptr, MAKEINTRESOURCEW(311)), nullptr);
  EXPECT_EQ(LoadIcon(nullptr, u"named"), nullptr);  // only ids name icons
  EXPECT_TRUE(DestroyIcon(icon));
  EXPECT_FALSE(DestroyIcon(reinterpret_cast<HICON>(&red)));

  Canvas canvas;
  EXPECT_TRUE(canvas.dc.DrawIcon(4, 2, icon));  // a shared icon outlives DestroyIcon
  EXPECT_FALSE(canvas.dc.DrawIcon(0, 0, reinterpret_cast<HICON>(&red)));
  EXPECT_EQ(canvas.Ink(), QRect(4, 2, 32, 32));
  EXPECT_EQ(canvas.At(35, 33), QColor(0xFF, 0, 0));

  mfc_test::RecordingWnd wnd;
  EXPECT_EQ(wnd.SetIcon(icon, FALSE), nullptr);
  EXPECT_FALSE(wnd.GetWidget()->windowIcon().isNull());  // the small one while there is no big one
  EXPECT_EQ(wnd.SetIcon(nullptr, FALSE), icon);
  EXPECT_EQ(wnd.GetIcon(FALSE), nullptr);
  EXPECT_TRUE(wnd.GetWidget()->windowIcon().isNull());
}

constexpr COLORREF kFace = RGB(0xF0, 0xF0, 0xF0);
constexpr COLORREF kMark = RGB(0xB0, 0x00, 0x20);

// Paints its client area plain; marks it through a client DC while painting
// when asked to.
class PlainWnd : public CWnd {
 public:
  PlainWnd() {
    mfc_test::EnsureApp();
    CreateEx(0, nullptr, u"plain", WS_POPUP, 0, 0, 80, 60, nullptr, 0);
  }
  bool markWhilePainting = false;

 protected:
  void OnPaint() override {
    CPaintDC dc(this);
    dc.FillSolidRect(0, 0, 80, 60, kFace);
    if (markWhilePainting) {
      CClientDC client(this);
      client.FillSolidRect(40, 30, 10, 10, kMark);
    }
  }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(PlainWnd, CWnd)
  ON_WM_PAINT()
END_MESSAGE_MAP()

QColor Pixel(CWnd& wnd, int x, int y) { return wnd.GetWidget()->grab().toImage().pixelColor(x, y); }

TEST(Gdi, AClientDcDrawsOverTheWindowUntilTheProgramInvalidatesIt) {
  PlainWnd wnd;
  wnd.ShowWindow(SW_SHOW);
  {
    CClientDC dc(&wnd);
    dc.FillSolidRect(10, 10, 20, 20, kMark);
  }
  EXPECT_EQ(Pixel(wnd, 15, 15), ToQColor(kMark));
  EXPECT_EQ(Pixel(wnd, 5, 5), ToQColor(kFace));
  CRect part(0, 0, 15, 60);
  wnd.InvalidateRect(&part);
  EXPECT_EQ(Pixel(wnd, 12, 12), ToQColor(kFace));
  EXPECT_EQ(Pixel(wnd, 20, 20), ToQColor(kMark));  // outside the invalidated part
  wnd.Invalidate();
  EXPECT_EQ(Pixel(wnd, 20, 20), ToQColor(kFace));

  wnd.markWhilePainting = true;  // inside painting it draws at once
  EXPECT_EQ(Pixel(wnd, 45, 35), ToQColor(kMark));

  // A control paints itself; what a client DC drew shows over it.
  CStatic label;
  ASSERT_TRUE(label.Create(nullptr, u"", WS_CHILD | WS_VISIBLE, CRect(0, 0, 30, 20), &wnd, 7));
  {
    CClientDC dc(&label);
    dc.FillSolidRect(0, 0, 5, 5, kMark);
  }
  EXPECT_EQ(Pixel(label, 2, 2), ToQColor(kMark));

  // A window destroyed while a client DC draws takes nothing from it.
  auto* gone = new PlainWnd();
  {
    CClientDC dc(gone);
    gone->DestroyWindow();
    dc.FillSolidRect(0, 0, 5, 5, kMark);
  }
  delete gone;
}

}  // namespace

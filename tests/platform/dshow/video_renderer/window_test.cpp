// The video renderer with its widget on the offscreen platform: pictures
// against libswscale's conversion, the picture rectangles and aspect modes on
// the grabbed widget, window calls from a worker while the GUI thread is
// blocked, re-parenting, and input reaching the message drain.
#include <QTest>
#include <QWidget>
#include <chrono>
#include <thread>

extern "C" {
#include <libswscale/swscale.h>
}

#include "renderer_fixture.h"
#include "support/gui_app.h"

namespace tlx::dshow::video::test {
namespace {

using mfc_test::EnsureApp;
using mfc_test::PumpUntil;
using mfc_test::RecordingWnd;

// libswscale's RGB32 of a picture laid out as the renderer reads it, with
// accurate rounding and the chroma taken whole for each pixel. Each
// chroma sample of a YUV picture covers two luma samples across (and two down
// in YV12), as in the renderer; libswscale takes that reading for even sizes
// only, so an odd-sized YUV picture goes in with its last luma column and row
// repeated up to even, and the result is cut back to the picture.
QImage SwscaleReference(const VideoFormat& f, const std::vector<BYTE>& bytes) {
  const bool yuv = f.layout == PixelLayout::kYV12 || f.layout == PixelLayout::kYUY2;
  const int width = yuv ? (f.width + 1) & ~1 : f.width;
  const int height = f.layout == PixelLayout::kYV12 ? (f.height + 1) & ~1 : f.height;
  const int chromaStride = width / 2;
  std::vector<BYTE> luma;
  const uint8_t* planes[4] = {bytes.data(), nullptr, nullptr, nullptr};
  int strides[4] = {0, 0, 0, 0};
  AVPixelFormat source;
  switch (f.layout) {
    case PixelLayout::kYV12: {
      source = AV_PIX_FMT_YUV420P;
      luma.resize(static_cast<size_t>(width) * height);
      for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
          luma[static_cast<size_t>(y) * width + x] =
              bytes[static_cast<size_t>(std::min(y, f.height - 1)) * f.width + std::min(x, f.width - 1)];
        }
      }
      const uint8_t* v = bytes.data() + static_cast<size_t>(f.width) * f.height;
      planes[0] = luma.data();
      planes[1] = v + static_cast<size_t>(chromaStride) * (height / 2);  // U follows V
      planes[2] = v;
      strides[0] = width;
      strides[1] = strides[2] = chromaStride;
      break;
    }
    case PixelLayout::kYUY2:
      source = AV_PIX_FMT_YUYV422;
      strides[0] = width * 2;
      break;
    case PixelLayout::kRGB32:
      source = AV_PIX_FMT_BGR0;
      strides[0] = f.width * 4;
      break;
    case PixelLayout::kRGB24:
      source = AV_PIX_FMT_BGR24;
      strides[0] = (f.width * 3 + 3) & ~3;
      break;
    case PixelLayout::kRGB565:
      source = AV_PIX_FMT_RGB565LE;
      strides[0] = (f.width * 2 + 3) & ~3;
      break;
    default:
      source = AV_PIX_FMT_RGB555LE;
      strides[0] = (f.width * 2 + 3) & ~3;
      break;
  }
  if (f.bottomUp) {
    planes[0] += static_cast<size_t>(strides[0]) * (f.height - 1);
    strides[0] = -strides[0];
  }
  QImage out(width, height, QImage::Format_RGB32);
  SwsContext* context =
      sws_getContext(width, height, source, width, height, AV_PIX_FMT_BGRA, SWS_POINT | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr, nullptr, nullptr);
  uint8_t* target[4] = {out.bits(), nullptr, nullptr, nullptr};
  int targetStrides[4] = {static_cast<int>(out.bytesPerLine()), 0, 0, 0};
  sws_scale(context, planes, strides, 0, height, target, targetStrides);
  sws_freeContext(context);
  return out.copy(0, 0, f.width, f.height);
}

int ChannelDistance(QRgb a, QRgb b) {
  return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
}

class VideoRendererWidget : public RendererGraph {
 protected:
  void SetUp() override {
    EnsureApp();
    RendererGraph::SetUp();
  }
  // The renderer's widget once the GUI thread made it and gave it `size`.
  QWidget* WidgetOfSize(QSize size) {
    PumpUntil([&] { return probe->VideoWidget() != nullptr && probe->VideoWidget()->size() == size; });
    return probe->VideoWidget();
  }
  // Presents one untimed picture.
  void Show(const std::vector<BYTE>& picture) {
    LONG before = probe->PresentedCount();
    source->AppendScript({ScriptItem::Untimed(picture)});
    ASSERT_TRUE(PumpUntil([&] { return probe->PresentedCount() == before + 1; }));
  }
};

TEST_F(VideoRendererWidget, EachLayoutShownAtItsOwnSizeMatchesSwscale) {
  struct Case {
    const GUID* subtype;
    int width, height;
    bool topDown;
  };
  const Case cases[] = {
      {&MEDIASUBTYPE_YV12, 16, 8, false},  {&MEDIASUBTYPE_YV12, 7, 5, false},    {&MEDIASUBTYPE_YUY2, 8, 4, false},
      {&MEDIASUBTYPE_YUY2, 7, 3, true},    {&MEDIASUBTYPE_RGB32, 5, 3, false},   {&MEDIASUBTYPE_RGB32, 5, 3, true},
      {&MEDIASUBTYPE_RGB24, 5, 3, false},  {&MEDIASUBTYPE_RGB24, 6, 2, true},    {&MEDIASUBTYPE_RGB565, 5, 3, false},
      {&MEDIASUBTYPE_RGB565, 4, 2, true},  {&MEDIASUBTYPE_RGB555, 5, 3, false},  {&MEDIASUBTYPE_RGB555, 3, 3, true},
  };
  unsigned seed = 1;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << seed << ": " << c.width << "x" << c.height);
    TearDown();
    RendererGraph::SetUp();
    CMediaType type = VideoType(*c.subtype, c.width, c.height, c.topDown);
    ASSERT_NO_FATAL_FAILURE(Build(type));
    VideoFormat format;
    ReadVideoFormat(type, &format);
    std::vector<BYTE> picture = NoisePicture(format, seed++);
    window->put_Visible(OATRUE);
    ASSERT_EQ(control->Run(), S_OK);
    ASSERT_NO_FATAL_FAILURE(Show(picture));
    QWidget* widget = WidgetOfSize(QSize(c.width, c.height));
    ASSERT_NE(widget, nullptr);
    QImage shown = widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QImage reference = SwscaleReference(format, picture);
    ASSERT_EQ(shown.size(), reference.size());
    int worst = 0;
    for (int y = 0; y < c.height; ++y) {
      for (int x = 0; x < c.width; ++x) worst = std::max(worst, ChannelDistance(shown.pixel(x, y), reference.pixel(x, y)));
    }
    EXPECT_LE(worst, 2);
  }
}

TEST_F(VideoRendererWidget, RectanglesAndAspectModesOnTheGrabbedWidget) {
  ASSERT_NO_FATAL_FAILURE(Build(VideoType(MEDIASUBTYPE_RGB32, 16, 16, true)));
  auto aspect = renderer.As<IVMRAspectRatioControl9>(IID_IVMRAspectRatioControl9);
  ASSERT_EQ(window->SetWindowPosition(0, 0, 32, 32), S_OK);
  window->put_Visible(OATRUE);
  ASSERT_EQ(control->Run(), S_OK);
  ASSERT_NO_FATAL_FAILURE(Show(QuadrantPicture(16, 16)));
  QWidget* widget = WidgetOfSize(QSize(32, 32));
  ASSERT_NE(widget, nullptr);

  const QRgb red = kQuadrantColours[0], green = kQuadrantColours[1], blue = kQuadrantColours[2],
             white = kQuadrantColours[3], black = 0xFF000000;
  struct Probe {
    int x, y;
    QRgb colour;
  };
  struct Case {
    const char* name;
    QRect source;  // null: the whole picture
    QRect dest;    // null: the whole widget
    DWORD mode;
    std::vector<Probe> probes;
  };
  const Case cases[] = {
      {"whole picture", {}, {}, VMR_ARMODE_NONE, {{4, 4, red}, {28, 4, green}, {4, 28, blue}, {28, 28, white}}},
      {"one quadrant", {0, 0, 8, 8}, {}, VMR_ARMODE_NONE, {{1, 1, red}, {30, 1, red}, {1, 30, red}, {30, 30, red}}},
      {"destination inside",
       {},
       {8, 8, 16, 16},
       VMR_ARMODE_NONE,
       {{4, 4, black}, {10, 10, red}, {22, 10, green}, {10, 22, blue}, {22, 22, white}, {28, 28, black}}},
      {"destination beyond the widget",
       {},
       {-16, -16, 64, 64},
       VMR_ARMODE_NONE,
       {{4, 4, red}, {28, 4, green}, {4, 28, blue}, {28, 28, white}, {14, 14, red}, {18, 18, white}}},
      {"wide source stretched", {0, 0, 16, 8}, {}, VMR_ARMODE_NONE, {{4, 2, red}, {28, 30, green}}},
      {"wide source letter-boxed",
       {0, 0, 16, 8},
       {},
       VMR_ARMODE_LETTER_BOX,
       {{4, 4, black}, {4, 12, red}, {28, 20, green}, {16, 28, black}}},
      {"tall source letter-boxed",
       {0, 0, 8, 16},
       {},
       VMR_ARMODE_LETTER_BOX,
       {{4, 16, black}, {12, 4, red}, {20, 28, blue}, {28, 16, black}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.source.isNull()) {
      video->SetDefaultSourcePosition();
    } else {
      ASSERT_EQ(video->SetSourcePosition(c.source.x(), c.source.y(), c.source.width(), c.source.height()), S_OK);
    }
    if (c.dest.isNull()) {
      video->SetDefaultDestinationPosition();
    } else {
      ASSERT_EQ(video->SetDestinationPosition(c.dest.x(), c.dest.y(), c.dest.width(), c.dest.height()), S_OK);
    }
    ASSERT_EQ(aspect->SetAspectRatioMode(c.mode), S_OK);
    QImage shown = widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
    for (const Probe& p : c.probes) {
      EXPECT_EQ(shown.pixel(p.x, p.y), p.colour) << "at " << p.x << "," << p.y;
    }
  }
}

TEST_F(VideoRendererWidget, WindowCallsFromAWorkerReturnAtOnceAndApplyInOrderLater) {
  RecordingWnd frame(u"owner");
  RecordingWnd other(u"other owner");
  frame.ShowWindow(SW_SHOW);
  ASSERT_NO_FATAL_FAILURE(Build(VideoType(MEDIASUBTYPE_RGB32, 16, 16, true)));
  const OAHWND owner = reinterpret_cast<OAHWND>(frame.m_hWnd);
  std::chrono::steady_clock::duration slowest{};
  std::vector<long> mirrored(4);
  // The GUI thread sits in the join while the worker calls.
  std::thread worker([&] {
    auto timed = [&](auto call) {
      auto before = std::chrono::steady_clock::now();
      EXPECT_EQ(call(), S_OK);
      slowest = std::max(slowest, std::chrono::steady_clock::now() - before);
    };
    timed([&] { return window->put_Owner(reinterpret_cast<OAHWND>(other.m_hWnd)); });
    timed([&] { return window->SetWindowPosition(10, 10, 40, 30); });
    timed([&] { return window->put_Visible(OATRUE); });
    timed([&] { return window->put_Owner(owner); });
    timed([&] { return window->put_Visible(OAFALSE); });
    timed([&] { return window->SetWindowPosition(20, 5, 50, 40); });
    timed([&] { return window->put_Visible(OATRUE); });
    window->GetWindowPosition(&mirrored[0], &mirrored[1], &mirrored[2], &mirrored[3]);
  });
  worker.join();
  EXPECT_LT(slowest, std::chrono::milliseconds(100)) << "no call waits for the GUI thread";
  EXPECT_EQ(mirrored, (std::vector<long>{20, 5, 50, 40})) << "the getters answer from the mirror at once";
  EXPECT_EQ(probe->VideoWidget(), nullptr) << "nothing reached the widget while the GUI thread was blocked";

  ASSERT_TRUE(PumpUntil([&] {
    QWidget* w = probe->VideoWidget();
    return w != nullptr && w->parentWidget() == frame.GetWidget() && w->geometry() == QRect(20, 5, 50, 40) &&
           w->isVisible();
  })) << "the last of the calls wins";
  OAHWND current = 0;
  window->get_Owner(&current);
  EXPECT_EQ(current, owner);
}

TEST_F(VideoRendererWidget, OwnerTakesTheVideoAlongWhenItIsReparented) {
  RecordingWnd first(u"first frame");
  RecordingWnd second(u"second frame");
  first.ShowWindow(SW_SHOW);
  second.ShowWindow(SW_SHOW);
  CWnd owner;
  ASSERT_TRUE(owner.CreateEx(0, nullptr, u"movie", WS_CHILD | WS_VISIBLE, 10, 10, 60, 50, first.m_hWnd, 1));
  ASSERT_NO_FATAL_FAILURE(Build(VideoType(MEDIASUBTYPE_RGB32, 16, 16, true)));
  window->put_AutoShow(OAFALSE);
  window->put_Owner(reinterpret_cast<OAHWND>(owner.m_hWnd));
  window->put_WindowStyle(WS_CHILD | WS_CLIPSIBLINGS);
  window->SetWindowPosition(4, 4, 32, 32);
  ASSERT_EQ(control->Run(), S_OK);
  ASSERT_NO_FATAL_FAILURE(Show(QuadrantPicture(16, 16)));
  QWidget* widget = WidgetOfSize(QSize(32, 32));
  ASSERT_NE(widget, nullptr);
  EXPECT_EQ(widget->parentWidget(), owner.GetWidget());
  EXPECT_FALSE(widget->isVisible()) << "AutoShow off: Run did not show it";
  window->put_Visible(OATRUE);
  ASSERT_TRUE(PumpUntil([&] { return widget->isVisible(); }));

  owner.SetParent(&second);
  PumpUntil([] { return false; }, 30);
  ASSERT_EQ(probe->VideoWidget(), widget) << "the same widget survives";
  EXPECT_EQ(widget->parentWidget(), owner.GetWidget());
  EXPECT_TRUE(widget->isVisible());
  EXPECT_EQ(widget->window(), second.GetWidget()->window());
  QImage shown = owner.GetWidget()->grab().toImage();
  EXPECT_EQ(shown.pixel(4 + 1, 4 + 1), kQuadrantColours[0]) << "still drawn in its owner";

  window->put_Owner(0);
  ASSERT_TRUE(PumpUntil([&] { return widget->parentWidget() == nullptr; }));
  EXPECT_FALSE(widget->isVisible()) << "detached, it hides";
}

TEST_F(VideoRendererWidget, InputOnTheVideoReachesTheDrainInItsClientCoordinates) {
  RecordingWnd drain(u"drain");
  drain.first = WM_KEYDOWN;
  drain.ShowWindow(SW_SHOW);
  CWnd owner;
  ASSERT_TRUE(owner.CreateEx(0, nullptr, u"movie", WS_CHILD | WS_VISIBLE, 10, 20, 60, 50, drain.m_hWnd, 1));
  ASSERT_NO_FATAL_FAILURE(Build(VideoType(MEDIASUBTYPE_RGB32, 16, 16, true)));
  window->put_Owner(reinterpret_cast<OAHWND>(owner.m_hWnd));
  window->put_MessageDrain(reinterpret_cast<OAHWND>(drain.m_hWnd));
  window->SetWindowPosition(5, 5, 32, 32);
  window->put_Visible(OATRUE);
  QWidget* widget = WidgetOfSize(QSize(32, 32));
  ASSERT_NE(widget, nullptr);
  ASSERT_TRUE(PumpUntil([&] { return widget->isVisible(); }));

  QTest::mouseClick(widget, Qt::LeftButton, Qt::NoModifier, QPoint(3, 4));
  QTest::keyClick(widget, Qt::Key_Space);
  auto received = [&](UINT message) {
    std::vector<LPARAM> params;
    for (const auto& r : drain.received) {
      if (r.message == message) params.push_back(message == WM_KEYDOWN || message == WM_KEYUP ? r.wParam : r.lParam);
    }
    return params;
  };
  ASSERT_TRUE(PumpUntil([&] { return !received(WM_KEYUP).empty(); }));
  // 10 + 5 + 3 across, 20 + 5 + 4 down.
  EXPECT_EQ(received(WM_LBUTTONDOWN), std::vector<LPARAM>{MAKELPARAM(18, 29)});
  EXPECT_EQ(received(WM_LBUTTONUP), std::vector<LPARAM>{MAKELPARAM(18, 29)});
  EXPECT_EQ(received(WM_KEYDOWN), std::vector<LPARAM>{VK_SPACE});
  EXPECT_EQ(received(WM_KEYUP), std::vector<LPARAM>{VK_SPACE});
}

}  // namespace
}  // namespace tlx::dshow::video::test

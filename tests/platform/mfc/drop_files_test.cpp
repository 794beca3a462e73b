#include <gtest/gtest.h>

#include <QApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

#include "support/gui_app.h"

namespace {

// Reads every dropped path and finishes the drop, as the Parts' handlers do.
class DropTarget : public CWnd {
 public:
  DropTarget() {
    mfc_test::EnsureApp();
    CreateEx(0, nullptr, u"drops", WS_POPUP, 0, 0, 100, 80, nullptr, 0);
  }
  std::vector<QStringList> drops;
  HDROP last = nullptr;

 protected:
  void OnDropFiles(HDROP drop) override {
    last = drop;
    QStringList files;
    UINT count = DragQueryFile(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
      std::vector<WCHAR> path(DragQueryFile(drop, i, nullptr, 0) + 1);
      DragQueryFile(drop, i, path.data(), static_cast<UINT>(path.size()));
      files.push_back(QString::fromUtf16(path.data()));
    }
    drops.push_back(files);
    DragFinish(drop);
  }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(DropTarget, CWnd)
  ON_WM_DROPFILES()
END_MESSAGE_MAP()

// Drags `urls` over the widget and drops them; returns whether the widget took
// the drag when it entered.
bool DragAndDrop(QWidget* w, const QList<QUrl>& urls) {
  QMimeData data;
  data.setUrls(urls);
  QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(w, &enter);
  QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(w, &drop);
  return enter.isAccepted();
}

const QList<QUrl> kMixed = {QUrl::fromLocalFile("/media/clips/one two.ts"), QUrl("http://localhost/remote.ts"),
                            QUrl::fromLocalFile("/media/clips/three.mp4")};

TEST(DroppedFiles, AnAcceptingWindowGetsTheLocalFilesAndTheDropEndsWithDragFinish) {
  DropTarget target;
  EXPECT_FALSE(DragAndDrop(target.GetWidget(), kMixed));  // not accepting yet
  EXPECT_TRUE(target.drops.empty());

  target.DragAcceptFiles();
  EXPECT_TRUE(target.GetExStyle() & WS_EX_ACCEPTFILES);
  EXPECT_TRUE(DragAndDrop(target.GetWidget(), kMixed));
  ASSERT_EQ(target.drops.size(), 1u);
  EXPECT_EQ(target.drops[0], (QStringList{"/media/clips/one two.ts", "/media/clips/three.mp4"}));
  // The finished handle is dead.
  WCHAR buffer[8] = {};
  EXPECT_EQ(DragQueryFile(target.last, 0xFFFFFFFF, nullptr, 0), 0u);
  EXPECT_EQ(DragQueryFile(target.last, 0, buffer, 8), 0u);

  // Nothing local: refused, no message.
  EXPECT_FALSE(DragAndDrop(target.GetWidget(), {QUrl("http://localhost/only.ts")}));
  EXPECT_EQ(target.drops.size(), 1u);

  target.DragAcceptFiles(FALSE);
  EXPECT_FALSE(DragAndDrop(target.GetWidget(), kMixed));
  EXPECT_EQ(target.drops.size(), 1u);
}

TEST(DroppedFiles, DragQueryFileCutsToTheBufferAndRefusesBadIndexes) {
  HDROP drop = tlx::mfc::MakeDrop({"/a/long-name.ts"});
  WCHAR buffer[8] = {};
  EXPECT_EQ(DragQueryFile(drop, 0xFFFFFFFF, nullptr, 0), 1u);
  EXPECT_EQ(DragQueryFile(drop, 0, nullptr, 0), 15u);
  EXPECT_EQ(DragQueryFile(drop, 0, buffer, 8), 7u);
  EXPECT_EQ(QString::fromUtf16(buffer), "/a/long");
  EXPECT_EQ(DragQueryFile(drop, 0, buffer, 0), 0u);
  EXPECT_EQ(DragQueryFile(drop, 1, buffer, 8), 0u);
  DragFinish(drop);
  DragFinish(drop);  // a second finish changes nothing
  EXPECT_EQ(DragQueryFile(drop, 0, buffer, 8), 0u);
}

TEST(DroppedFiles, AWindowWithoutAHandlerHasItsDropFinished) {
  mfc_test::RecordingWnd plain;
  plain.first = WM_DROPFILES;
  plain.DragAcceptFiles();
  EXPECT_TRUE(DragAndDrop(plain.GetWidget(), kMixed));
  HDROP drop = nullptr;
  for (const auto& r : plain.received) {
    if (r.message == WM_DROPFILES) drop = reinterpret_cast<HDROP>(r.wParam);
  }
  ASSERT_NE(drop, nullptr);
  EXPECT_EQ(DragQueryFile(drop, 0xFFFFFFFF, nullptr, 0), 0u);
}

}  // namespace

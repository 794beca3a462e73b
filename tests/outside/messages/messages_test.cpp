#include <gtest/gtest.h>
#include <stdlib.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QTimer>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include "common/tlx_pc_cmn_err_info.h"
#include "messages/internal/presenters.h"
#include "messages/presenter.h"
#include "messages/tlx_pc_message.h"
#include "mfc/wnd.h"
#include "resources/module_builder.h"
#include "support/child_process.h"
#include "support/qt_sanitizer_suppressions.h"
#include "win32/modules.h"

// The message boxes load fonts through Qt.
extern "C" const char* __lsan_default_suppressions() { return TLX_QT_LSAN_SUPPRESSIONS; }
extern "C" const char* __tsan_default_suppressions() { return TLX_QT_TSAN_SUPPRESSIONS; }

namespace {

using tlx::messages::ScriptedPresenter;

QApplication& App() {
  static int argc = 1;
  static char name[] = "messages_test";
  static char* argv[] = {name, nullptr};
  static auto* app = new QApplication(argc, argv);
  return *app;
}

// Installs a scripted presenter for one test.
class Scripted {
 public:
  Scripted() : presenter(std::make_shared<ScriptedPresenter>()) { tlx::messages::SetPresenter(presenter); }
  ~Scripted() { tlx::messages::SetPresenter(nullptr); }
  std::shared_ptr<ScriptedPresenter> presenter;
};

// A module with the texts, in the chain as the region's for one test.
class Texts {
 public:
  explicit Texts(tlx::resources::ModuleBuilder& builder) : module_(builder.Build()) { AfxSetResourceHandle(module_); }
  ~Texts() {
    AfxSetResourceHandle(nullptr);
    TlxPcFreeResourceLibrary(module_);
  }

 private:
  HINSTANCE module_;
};

struct StyleCase {
  UINT style;
  QMessageBox::StandardButtons buttons;
  QMessageBox::Icon icon;
  int negative;
};
const StyleCase kStyles[] = {
    {0, QMessageBox::Ok, QMessageBox::NoIcon, IDOK},
    {5, QMessageBox::Retry | QMessageBox::Cancel, QMessageBox::NoIcon, IDCANCEL},
    {33, QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Question, IDCANCEL},
    {36, QMessageBox::Yes | QMessageBox::No, QMessageBox::Question, IDNO},
    {48, QMessageBox::Ok, QMessageBox::Warning, IDOK},
    {49, QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Warning, IDCANCEL},
    {64, QMessageBox::Ok, QMessageBox::Information, IDOK},
    {65, QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Information, IDCANCEL},
};

// Acts on the next message box once it is shown: `act` gets the box.
void WhenShown(const std::function<void(QMessageBox*)>& act) {
  auto* timer = new QTimer();
  QObject::connect(timer, &QTimer::timeout, [timer, act] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      timer->stop();
      timer->deleteLater();
      act(box);
    }
  });
  timer->start(5);
}

// The boxes QMessageBox shows: buttons and icon by style, each button's
// result, closing gives the negative answer, the owner's top level is the
// parent.
TEST(Messages, TheBoxShowsTheStylesButtonsAndAnswersWithTheButtonPressed) {
  App();
  const std::pair<QMessageBox::StandardButton, int> kResults[] = {
      {QMessageBox::Ok, IDOK}, {QMessageBox::Cancel, IDCANCEL}, {QMessageBox::Retry, IDRETRY},
      {QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}};
  tlx::resources::ModuleBuilder builder;
  Texts texts(builder.String(20890, "Disconnect?"));
  CWnd owner;
  owner.CreateEx(0, nullptr, u"owner", WS_POPUP, 0, 0, 100, 80, nullptr, 0);
  for (const StyleCase& c : kStyles) {
    SCOPED_TRACE(c.style);
    for (const auto& [button, result] : kResults) {
      if (!c.buttons.testFlag(button)) continue;
      bool checked = false;
      WhenShown([&, button = button](QMessageBox* box) {
        checked = box->standardButtons() == c.buttons && box->icon() == c.icon && box->text() == "Disconnect?" &&
                  box->parentWidget() == owner.GetWidget();
        box->button(button)->click();
      });
      EXPECT_EQ(result, nTlxPcMessageBox(20890, c.style, owner));
      EXPECT_TRUE(checked);
    }
    WhenShown([](QMessageBox* box) { box->close(); });
    EXPECT_EQ(c.negative, nTlxPcMessageBox(20890, c.style, nullptr)) << "closed";
  }
  owner.DestroyWindow();
}

TEST(Messages, ASuppressedBoxIsNotShownAndAnswersNo) {
  Scripted scripted;
  EXPECT_EQ(1, nTlxPcMessageSetShowFlag(0));
  for (const StyleCase& c : kStyles) {
    scripted.presenter->Answer(IDOK);
    EXPECT_EQ(c.negative, nTlxPcMessageBox(20890, c.style, nullptr)) << c.style;
    CTlxPcCmnErrInfo record(2, 1, 454, 4, 0);
    EXPECT_EQ(c.negative, nTlxPcMessageBoxEx(20942, c.style, &record, nullptr)) << c.style;
    EXPECT_EQ(c.negative, nTlxPcMessageBoxEx2(u"ready-made", c.style, nullptr)) << c.style;
  }
  EXPECT_EQ(0, nTlxPcMessageSetShowFlag(1));
  EXPECT_TRUE(scripted.presenter->shown().empty());
  EXPECT_EQ(IDOK, nTlxPcMessageBox(20890, MB_OKCANCEL, nullptr)) << "shown again, the first answer still queued";
}

TEST(Messages, TheTextComesFromTheChainAndTheRecordFollowsOnItsOwnLine) {
  Scripted scripted;
  tlx::resources::ModuleBuilder builder;
  Texts texts(builder.String(20942, "An error occurred."));
  const HWND owner = reinterpret_cast<HWND>(0x10004);
  CTlxPcCmnErrInfo record(2, 1, 454, 4, 9);
  scripted.presenter->Answer(IDOK);
  EXPECT_EQ(IDOK, nTlxPcMessageBoxEx(20942, 48, &record, owner));
  EXPECT_EQ(IDOK, nTlxPcMessageBoxEx(20942, 48, nullptr, nullptr)) << "no answer queued: the negative one";
  EXPECT_EQ(IDCANCEL, nTlxPcMessageBox(20999, MB_OKCANCEL, nullptr));
  EXPECT_EQ(IDCANCEL, nTlxPcMessageBoxEx2(u"Volume 42", MB_RETRYCANCEL, nullptr));
  const auto shown = scripted.presenter->shown();
  ASSERT_EQ(4u, shown.size());
  EXPECT_EQ(20942u, shown[0].id);
  EXPECT_EQ("An error occurred.", shown[0].text);
  EXPECT_EQ("(2-1-454-4)", shown[0].record);
  EXPECT_EQ(48u, shown[0].style);
  EXPECT_EQ(owner, shown[0].owner);
  EXPECT_EQ("", shown[1].record);
  EXPECT_EQ("[20999]", shown[2].text) << "a missing text still shows its id";
  EXPECT_EQ("Volume 42", shown[3].text);
  EXPECT_EQ(3, scripted.presenter->unexpected());

  CString text;
  EXPECT_TRUE(bTlxPcGetMessage(20942, text));
  EXPECT_EQ(QString("An error occurred."), QString::fromUtf16(text.GetString()));
  EXPECT_FALSE(bTlxPcGetMessage(20999, text));
  EXPECT_TRUE(text.IsEmpty());
}

// 257 and 259 come from the table the shell library carries, in each of its
// languages, without a region bundle.
TEST(Messages, TheShellsMessagesAreThereWithoutARegion) {
  HMODULE shell = LoadLibraryA("TlxPcApplication.dll");
  ASSERT_NE(nullptr, shell);
  for (const char* language : {"1028", "1031", "1033", "1036", "1041", "1042", "2057"}) {
    setenv("TLX_UI_LANGUAGE", language, 1);
    for (const UINT id : {257u, 259u}) {
      CString text;
      EXPECT_TRUE(bTlxPcGetMessage(id, text)) << language << " " << id;
      EXPECT_FALSE(text.IsEmpty());
    }
  }
  setenv("TLX_UI_LANGUAGE", "1041", 1);
  CString japanese;
  bTlxPcGetMessage(257, japanese);
  setenv("TLX_UI_LANGUAGE", "1033", 1);
  CString english;
  bTlxPcGetMessage(257, english);
  EXPECT_EQ(QString("The application is already running."), QString::fromUtf16(english.GetString()));
  EXPECT_NE(QString::fromUtf16(english.GetString()), QString::fromUtf16(japanese.GetString()));
  unsetenv("TLX_UI_LANGUAGE");
  FreeLibrary(shell);
}

TEST(Messages, TheEnvironmentPresenterAnswersFromItsScriptAndLogsEachBox) {
  tlx::test::TempFolder folder;
  const std::string script = (folder.path() / "answers").string();
  const std::string log = (folder.path() / "boxes.log").string();
  // OK; a Yes that an OK and Cancel box cannot give; IDYES by name; then the
  // script has run out.
  std::ofstream(script) << "1\n6\nIDYES\n";
  setenv("TLX_MESSAGE_SCRIPT", script.c_str(), 1);
  setenv("TLX_MESSAGE_LOG", log.c_str(), 1);
  tlx::test::ChildProcess helper("messages_helper", {"20942", "48", "20890", "33", "20937", "36", "257", "36"});
  unsetenv("TLX_MESSAGE_SCRIPT");
  unsetenv("TLX_MESSAGE_LOG");
  for (const char* expected : {"1", "2", "6", "7"}) EXPECT_EQ(expected, helper.ReadLine());
  EXPECT_EQ(0, helper.Wait());
  QFile file(QString::fromStdString(log));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QList<QByteArray> lines = file.readAll().split('\n');
  ASSERT_EQ(5, lines.size());
  EXPECT_EQ("20942\t48\t1\t[20942]\t", lines[0]);
  EXPECT_EQ("20890\t33\t2\t[20890]\t", lines[1]);
  EXPECT_EQ("20937\t36\t6\t[20937]\t", lines[2]);
  EXPECT_EQ("257\t36\t7\t[257]\t", lines[3]);
}

}  // namespace

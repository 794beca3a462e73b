#include "messages/internal/presenters.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

#include "messages/tlx_pc_message.h"
#include "mfc/wnd.h"

namespace tlx::messages {
namespace {

// The string with the application's name, the boxes' title.
constexpr UINT kApplicationTitle = 57344;

QMessageBox::StandardButtons ButtonsOf(UINT style) {
  switch (style & MB_TYPEMASK) {
    case MB_OKCANCEL:
      return QMessageBox::Ok | QMessageBox::Cancel;
    case MB_YESNO:
      return QMessageBox::Yes | QMessageBox::No;
    case MB_RETRYCANCEL:
      return QMessageBox::Retry | QMessageBox::Cancel;
    default:
      return QMessageBox::Ok;
  }
}

QMessageBox::Icon IconOf(UINT style) {
  switch (style & MB_ICONMASK) {
    case MB_ICONQUESTION:
      return QMessageBox::Question;
    case MB_ICONEXCLAMATION:
      return QMessageBox::Warning;
    case MB_ICONINFORMATION:
      return QMessageBox::Information;
    default:
      return QMessageBox::NoIcon;
  }
}

QMessageBox::StandardButton ButtonOf(int answer) {
  switch (answer) {
    case IDCANCEL:
      return QMessageBox::Cancel;
    case IDRETRY:
      return QMessageBox::Retry;
    case IDYES:
      return QMessageBox::Yes;
    case IDNO:
      return QMessageBox::No;
    default:
      return QMessageBox::Ok;
  }
}

int AnswerOf(int button, UINT style) {
  switch (button) {
    case QMessageBox::Ok:
      return IDOK;
    case QMessageBox::Cancel:
      return IDCANCEL;
    case QMessageBox::Retry:
      return IDRETRY;
    case QMessageBox::Yes:
      return IDYES;
    case QMessageBox::No:
      return IDNO;
    default:
      return NegativeAnswer(style);
  }
}

class QtPresenter : public Presenter {
 public:
  int Present(const MessageBoxRequest& request) override {
    QCoreApplication* app = QCoreApplication::instance();
    if (qobject_cast<QApplication*>(app) == nullptr) return NegativeAnswer(request.style);
    int answer = NegativeAnswer(request.style);
    auto show = [&] {
      QWidget* parent = nullptr;
      if (CWnd* owner = request.owner != nullptr ? CWnd::FromHandle(request.owner) : nullptr;
          owner != nullptr && owner->GetWidget() != nullptr) {
        parent = owner->GetWidget()->window();
      }
      QString text = request.text;
      if (!request.record.isEmpty()) text += u'\n' + request.record;
      QString title;
      ChainText(kApplicationTitle, &title);
      QMessageBox box(IconOf(request.style), title, text,
                      ButtonsOf(request.style), parent);
      box.setWindowModality(Qt::ApplicationModal);
      // Closing the box presses its negative button.
      box.setEscapeButton(ButtonOf(NegativeAnswer(request.style)));
      answer = AnswerOf(box.exec(), request.style);
    };
    if (QThread::currentThread() == app->thread()) {
      show();
    } else {
      QMetaObject::invokeMethod(app, show, Qt::BlockingQueuedConnection);
    }
    return answer;
  }
};

}  // namespace

std::shared_ptr<Presenter> MakeQtPresenter() { return std::make_shared<QtPresenter>(); }

}  // namespace tlx::messages

#include "messages/presenter.h"

#include <QByteArray>
#include <QFile>
#include <QStringList>
#include <cstdlib>

#include "messages/internal/presenters.h"
#include "messages/tlx_pc_message.h"

namespace tlx::messages {
namespace {

// Answers from the file $TLX_MESSAGE_SCRIPT names, one a line (a number or
// IDOK, IDCANCEL, IDRETRY, IDYES, IDNO), and appends each box to the file
// $TLX_MESSAGE_LOG names as "id<TAB>style<TAB>answer<TAB>text<TAB>record"
// with line breaks in the text written as "\n". An answer that is missing,
// unreadable or no button of the style gives the negative answer.
class EnvironmentPresenter : public Presenter {
 public:
  explicit EnvironmentPresenter(const char* script) {
    QFile file(QString::fromLocal8Bit(script));
    if (file.open(QIODevice::ReadOnly | QIODevice::Text)) {
      for (const QByteArray& line : file.readAll().split('\n')) {
        if (!line.trimmed().isEmpty()) answers_ << QString::fromUtf8(line.trimmed());
      }
    }
  }

  int Present(const MessageBoxRequest& request) override {
    std::lock_guard lock(lock_);
    int answer = NegativeAnswer(request.style);
    if (next_ < answers_.size()) {
      const int scripted = Parse(answers_[next_++]);
      if (ButtonOfStyle(request.style, scripted)) answer = scripted;
    }
    if (const char* log = std::getenv("TLX_MESSAGE_LOG"); log != nullptr && *log != '\0') {
      QFile file(QString::fromLocal8Bit(log));
      if (file.open(QIODevice::Append | QIODevice::Text)) {
        QString text = request.text;
        text.replace(u'\n', QStringLiteral("\\n"));
        file.write(QStringLiteral("%1\t%2\t%3\t%4\t%5\n")
                       .arg(request.id)
                       .arg(request.style)
                       .arg(answer)
                       .arg(text, request.record)
                       .toUtf8());
      }
    }
    return answer;
  }

 private:
  static int Parse(const QString& text) {
    static const std::pair<const char*, int> kNames[] = {
        {"IDOK", IDOK}, {"IDCANCEL", IDCANCEL}, {"IDRETRY", IDRETRY}, {"IDYES", IDYES}, {"IDNO", IDNO}};
    for (const auto& [name, value] : kNames) {
      if (text.compare(QLatin1String(name), Qt::CaseInsensitive) == 0) return value;
    }
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok ? value : 0;
  }

  std::mutex lock_;
  QStringList answers_;
  qsizetype next_ = 0;
};

std::mutex g_lock;
std::shared_ptr<Presenter> g_installed;
std::shared_ptr<Presenter> g_default;

}  // namespace

int NegativeAnswer(UINT style) {
  switch (style & MB_TYPEMASK) {
    case MB_YESNO:
      return IDNO;
    case MB_OKCANCEL:
    case MB_RETRYCANCEL:
      return IDCANCEL;
    default:
      return IDOK;
  }
}

bool ButtonOfStyle(UINT style, int answer) {
  switch (style & MB_TYPEMASK) {
    case MB_OKCANCEL:
      return answer == IDOK || answer == IDCANCEL;
    case MB_YESNO:
      return answer == IDYES || answer == IDNO;
    case MB_RETRYCANCEL:
      return answer == IDRETRY || answer == IDCANCEL;
    default:
      return answer == IDOK;
  }
}

std::shared_ptr<Presenter> SetPresenter(std::shared_ptr<Presenter> presenter) {
  std::lock_guard lock(g_lock);
  g_installed.swap(presenter);
  return presenter;
}

std::shared_ptr<Presenter> CurrentPresenter() {
  std::lock_guard lock(g_lock);
  if (g_installed != nullptr) return g_installed;
  if (g_default == nullptr) {
    const char* script = std::getenv("TLX_MESSAGE_SCRIPT");
    if (script != nullptr && *script != '\0') {
      g_default = std::make_shared<EnvironmentPresenter>(script);
    } else {
      g_default = MakeQtPresenter();
    }
  }
  return g_default;
}

void ScriptedPresenter::Answer(int button) {
  std::lock_guard lock(lock_);
  answers_.push_back(button);
}

int ScriptedPresenter::Present(const MessageBoxRequest& request) {
  std::lock_guard lock(lock_);
  shown_.push_back(request);
  if (answers_.empty()) {
    ++unexpected_;
    return NegativeAnswer(request.style);
  }
  const int answer = answers_.front();
  answers_.pop_front();
  return answer;
}

std::vector<MessageBoxRequest> ScriptedPresenter::shown() const {
  std::lock_guard lock(lock_);
  return shown_;
}

int ScriptedPresenter::unexpected() const {
  std::lock_guard lock(lock_);
  return unexpected_;
}

}  // namespace tlx::messages

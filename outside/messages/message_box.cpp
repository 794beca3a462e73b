#include <QString>
#include <atomic>

#include "common/tlx_pc_cmn_err_info.h"
#include "messages/internal/presenters.h"
#include "messages/presenter.h"
#include "messages/tlx_pc_message.h"
#include "resources/tlx_pc_resource.h"

namespace tlx::messages {
namespace {

std::atomic<int> g_show{1};

// The record as "(module-class-line-error)".
QString RecordText(const CTlxPcCmnErrInfo* record) {
  if (record == nullptr) return {};
  return QStringLiteral("(%1-%2-%3-%4)")
      .arg(record->nGetProId())
      .arg(record->nGetClassId())
      .arg(record->nGetLine())
      .arg(record->nGetErrId());
}

int Show(MessageBoxRequest request) {
  if (g_show.load() == 0) return NegativeAnswer(request.style);
  return CurrentPresenter()->Present(request);
}

MessageBoxRequest ForId(UINT id, UINT style, HWND owner) {
  MessageBoxRequest request{id, {}, style, {}, owner};
  if (!ChainText(id, &request.text)) request.text = QStringLiteral("[%1]").arg(id);
  return request;
}

}  // namespace

bool ChainText(UINT id, QString* text) {
  HINSTANCE module = AfxFindStringResourceHandle(id);
  HRSRC resource = FindResource(module, MAKEINTRESOURCE(id), RT_STRING);
  if (resource == nullptr) return false;
  const auto* units = static_cast<const char16_t*>(LockResource(LoadResource(module, resource)));
  *text = QString::fromUtf16(units, SizeofResource(module, resource) / sizeof(char16_t));
  return true;
}

}  // namespace tlx::messages

using namespace tlx::messages;

int nTlxPcMessageBox(UINT id, UINT style, HWND owner) { return Show(ForId(id, style, owner)); }

int nTlxPcMessageBoxEx(UINT id, UINT style, const CTlxPcCmnErrInfo* errInfo, HWND owner) {
  MessageBoxRequest request = ForId(id, style, owner);
  request.record = RecordText(errInfo);
  return Show(std::move(request));
}

int nTlxPcMessageBoxEx2(const WCHAR* text, UINT style, HWND owner) {
  return Show(MessageBoxRequest{0, text == nullptr ? QString() : QString::fromUtf16(text), style, {}, owner});
}

BOOL bTlxPcGetMessage(UINT id, CString& text) {
  QString found;
  if (!ChainText(id, &found)) {
    text.Empty();
    return FALSE;
  }
  text = CString(found);
  return TRUE;
}

int nTlxPcMessageSetShowFlag(int show) { return g_show.exchange(show != 0 ? 1 : 0); }

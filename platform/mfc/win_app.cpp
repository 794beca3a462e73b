#include "mfc/win_app.h"

#include <QApplication>
#include <QEventLoop>
#include <memory>

#include "mfc/internal/message_pump.h"
#include "mfc/wnd.h"

namespace tlx::mfc {
void SetGuiThreadObject(CWinThread* thread);
}  // namespace tlx::mfc

namespace {
CWinApp* g_app = nullptr;
}  // namespace

CWinApp::CWinApp(const WCHAR* appName) : m_pszAppName(appName) {
  m_bAutoDelete = FALSE;
  g_app = this;
  tlx::mfc::SetGuiThreadObject(this);
}

CWinApp::~CWinApp() {
  if (g_app == this) {
    g_app = nullptr;
    tlx::mfc::SetGuiThreadObject(nullptr);
  }
}

BOOL CWinApp::InitInstance() { return TRUE; }

int CWinApp::ExitInstance() { return 0; }

int CWinApp::Run() {
  tlx::mfc::AssertGuiThread();
  if (m_pMainWnd == nullptr || !IsWindow(m_pMainWnd->m_hWnd)) return ExitInstance();
  QEventLoop loop;
  m_pLoop = &loop;
  loop.exec();
  m_pLoop = nullptr;
  return ExitInstance();
}

void CWinApp::MainWindowDestroyed() {
  m_pMainWnd = nullptr;
  if (m_pLoop != nullptr) m_pLoop->quit();
}

CWinApp* AfxGetApp() { return g_app; }

int AfxWinMain(int argc, char** argv) {
  std::unique_ptr<QApplication> owned;
  if (QCoreApplication::instance() == nullptr) owned = std::make_unique<QApplication>(argc, argv);
  tlx::mfc::StartPump();
  CWinApp* app = AfxGetApp();
  if (app == nullptr) return -1;
  if (!app->InitInstance()) return app->ExitInstance();
  return app->Run();
}

// CWinApp: the application object, the GUI thread's CWinThread. AfxWinMain
// makes the QApplication, runs InitInstance and then Run, whose event loop
// ends when the main window is destroyed (WM_CLOSE of the main window does
// that), and returns ExitInstance's result.
#pragma once

#include "mfc/gdi.h"
#include "mfc/win_thread.h"

class QEventLoop;

class CWinApp : public CWinThread {
 public:
  explicit CWinApp(const WCHAR* appName = nullptr);
  ~CWinApp() override;

  BOOL InitInstance() override;
  int Run() override;
  int ExitInstance() override;

  // The icon of a resource id (::LoadIcon); null when there is none.
  HICON LoadIcon(UINT id) const { return ::LoadIcon(nullptr, MAKEINTRESOURCEW(id)); }

  // Ends Run's loop: the main window is gone.
  void MainWindowDestroyed();

  const WCHAR* m_pszAppName;

 private:
  QEventLoop* m_pLoop = nullptr;
};

CWinApp* AfxGetApp();
// The program's body: the QApplication (made here unless one exists), then
// the application's InitInstance and Run. Returns the exit code.
int AfxWinMain(int argc, char** argv);

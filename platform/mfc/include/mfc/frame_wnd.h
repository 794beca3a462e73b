// CFrameWnd: a top-level frame whose client area holds one view, the child
// with id AFX_IDW_PANE_FIRST, kept filling it. A frameless frame with
// WS_THICKFRAME has a border band of SM_CXFRAME pixels around the client area,
// which it paints in WM_NCPAINT and which sizes the frame when dragged.
#pragma once

#include "mfc/wnd.h"

inline constexpr UINT AFX_IDW_PANE_FIRST = 0xE900;

class CFrameWnd : public CWnd {
  DECLARE_DYNAMIC(CFrameWnd)

 public:
  static const CRect rectDefault;
  // Creates the frame with the title string `resourceId` and its icon image
  // of the same id from the resource chain. FALSE when creation fails.
  virtual BOOL LoadFrame(UINT resourceId, DWORD style = WS_OVERLAPPEDWINDOW, CWnd* parent = nullptr);
  BOOL Create(const WCHAR* className, const WCHAR* title, DWORD style = WS_OVERLAPPEDWINDOW,
              const RECT& rect = rectDefault, CWnd* parent = nullptr);
  // Fits the view to the client area.
  virtual void RecalcLayout();
  CWnd* GetActiveView() const { return GetDlgItem(AFX_IDW_PANE_FIRST); }
  // Commands go to the view first, then to the frame's own map.
  BOOL OnCmdMsg(UINT id, int code, void* extra, LRESULT* result) override;

 protected:
  BOOL PreCreateWindow(CREATESTRUCT& cs) override;
  void OnSize(UINT type, int cx, int cy) override;
  void OnSetFocus(CWnd* oldWnd) override;
  LRESULT OnNcHitTest(CPoint point) override;
  DECLARE_MESSAGE_MAP()
};

// Dialogs built from templates of the resource chain.
//
// A template is a JSON object, in pixels:
//   {"id": 100, "caption": "Settings" | "captionId": 57,
//    "size": [width, height],
//    "font": {"face": "Sans" | "faceId": 58, "size": 9, "weight": 400},
//    "style": {"child": false, "caption": true, "visible": false},
//    "controls": [{"id": 1, "class": "Button", "text": "OK" | "textId": 59,
//                  "rect": [x, y, width, height], "style": 1342242817,
//                  "exStyle": 0, "image": 60}, ...]}
// "class" is a Windows class name ("Button", "Edit", "Static", "ListBox",
// "ComboBox", "SysListView32", "SysTreeView32", "SysTabControl32",
// "msctls_updown32", "msctls_trackbar32", "msctls_progress32"); "style" and
// "exStyle" hold the control's Windows style bits (WS_CHILD is implied).
// Anything else (missing or mistyped fields, an unknown class, negative
// sizes) makes the template malformed: Create fails and DoModal returns -1.
#pragma once

#include <memory>
#include <vector>

#include "mfc/controls.h"
#include "mfc/message_ids.h"
#include "mfc/wnd.h"

class CDataExchange {
 public:
  CDataExchange(CWnd* dialog, BOOL saveAndValidate) : m_pDlgWnd(dialog), m_bSaveAndValidate(saveAndValidate) {}
  CWnd* m_pDlgWnd;
  BOOL m_bSaveAndValidate;
};

// Binds `member` to the dialog's control `id` (SubclassDlgItem) the first time.
void DDX_Control(CDataExchange* dx, int id, CWnd& member);
void DDX_Text(CDataExchange* dx, int id, CString& value);
void DDX_Check(CDataExchange* dx, int id, int& value);

class CDialog : public CWnd {
  DECLARE_DYNAMIC(CDialog)

 public:
  CDialog() = default;
  explicit CDialog(UINT templateId, CWnd* parent = nullptr) : m_nIDTemplate(templateId), m_pParentWnd(parent) {}
  ~CDialog() override;

  // Runs the dialog modally (its owner disabled meanwhile) until EndDialog;
  // returns the value given to EndDialog, -1 when the dialog cannot be made.
  virtual INT_PTR DoModal();
  // Makes the dialog modeless; also without a parent.
  BOOL Create(UINT templateId, CWnd* parent = nullptr);
  void EndDialog(int result);

  // After the controls exist: binds the members (UpdateData(FALSE)). TRUE
  // gives the focus to the first tab stop; FALSE keeps what the code set.
  virtual BOOL OnInitDialog();
  virtual void OnOK();
  virtual void OnCancel();
  virtual void DoDataExchange(CDataExchange* dx);
  BOOL UpdateData(BOOL saveAndValidate = TRUE);

  void CheckDlgButton(int id, UINT check);
  UINT IsDlgButtonChecked(int id) const;
  void CheckRadioButton(int first, int last, int check);
  void SetDlgItemText(int id, const CString& text);
  int GetDlgItemText(int id, CString& text) const;
  void BeginModalState();
  void EndModalState();

  BOOL PreTranslateMessage(MSG* msg) override;
  BOOL OnCmdMsg(UINT id, int code, void* extra, LRESULT* result) override;

 protected:
  UINT m_nIDTemplate = 0;
  CWnd* m_pParentWnd = nullptr;

 private:
  // Makes the window and its controls from the template; FALSE when the
  // template is missing or malformed.
  BOOL CreateFromTemplate(CWnd* parent, bool modal);
  LRESULT HandleInitDialog(WPARAM wParam, LPARAM lParam);
  // The standard controls of the template (DDX_Control moves a window from
  // one of them to a member) and the images they show.
  std::vector<std::unique_ptr<CWnd>> m_controls;
  std::vector<std::unique_ptr<CBitmap>> m_images;
  CFont m_font;
  bool m_bEnded = false;
  int m_nResult = 0;
  class QEventLoop* m_pLoop = nullptr;
  DECLARE_MESSAGE_MAP()
};

// The standard and common controls over Qt widgets. Each answers
// GetWindowClassName with its Windows class name and tells its parent what
// the user did with the Windows notification codes: WM_COMMAND (BN_, EN_,
// LBN_, CBN_), WM_NOTIFY (NM_, LVN_, TVN_, UDN_) and WM_HSCROLL. A notification
// is offered to the control itself first (ON_CONTROL_REFLECT,
// ON_NOTIFY_REFLECT, DrawItem), then to the parent. Changes made by calls
// (SetCurSel, SetCheck, ...) notify nobody, as on Windows.
#pragma once

#include "mfc/wnd.h"

// Button styles (the low four bits are the kind) and states.
inline constexpr DWORD BS_PUSHBUTTON = 0x0;
inline constexpr DWORD BS_DEFPUSHBUTTON = 0x1;
inline constexpr DWORD BS_CHECKBOX = 0x2;
inline constexpr DWORD BS_AUTOCHECKBOX = 0x3;
inline constexpr DWORD BS_RADIOBUTTON = 0x4;
inline constexpr DWORD BS_GROUPBOX = 0x7;
inline constexpr DWORD BS_AUTORADIOBUTTON = 0x9;
inline constexpr DWORD BS_OWNERDRAW = 0xB;
inline constexpr DWORD BS_TYPEMASK = 0xF;
inline constexpr UINT BST_UNCHECKED = 0;
inline constexpr UINT BST_CHECKED = 1;
inline constexpr UINT BM_GETCHECK = 0x00F0;
inline constexpr UINT BM_SETCHECK = 0x00F1;
inline constexpr UINT BM_SETSTYLE = 0x00F4;
inline constexpr UINT BN_CLICKED = 0;

inline constexpr UINT STM_SETIMAGE = 0x0172;
inline constexpr UINT IMAGE_BITMAP = 0;

inline constexpr UINT EM_GETSEL = 0x00B0;
inline constexpr UINT EM_SETSEL = 0x00B1;
inline constexpr UINT EM_SCROLLCARET = 0x00B7;
inline constexpr UINT EM_LIMITTEXT = 0x00C5;
inline constexpr UINT EN_CHANGE = 0x0300;
inline constexpr UINT EN_UPDATE = 0x0400;

inline constexpr DWORD LBS_OWNERDRAWFIXED = 0x0010;
inline constexpr DWORD LBS_HASSTRINGS = 0x0040;
inline constexpr DWORD LBS_WANTKEYBOARDINPUT = 0x0400;
inline constexpr UINT LBN_SELCHANGE = 1;
inline constexpr UINT LBN_DBLCLK = 2;
inline constexpr int LB_ERR = -1;
inline constexpr UINT CBN_SELCHANGE = 1;
inline constexpr int CB_ERR = -1;

// Owner drawing.
inline constexpr UINT ODT_LISTBOX = 2;
inline constexpr UINT ODT_BUTTON = 4;
// The layer always asks for the whole item (ODA_DRAWENTIRE); ODA_SELECT is
// the selection-change request that drawing code may also be given.
inline constexpr UINT ODA_DRAWENTIRE = 0x0001;
inline constexpr UINT ODA_SELECT = 0x0002;
inline constexpr UINT ODS_SELECTED = 0x0001;
inline constexpr UINT ODS_DISABLED = 0x0004;
inline constexpr UINT ODS_FOCUS = 0x0010;
struct DRAWITEMSTRUCT {
  UINT CtlType;
  UINT CtlID;
  UINT itemID;
  UINT itemAction;
  UINT itemState;
  HWND hwndItem;
  HDC hDC;
  RECT rcItem;
  ULONG_PTR itemData;
};
using LPDRAWITEMSTRUCT = DRAWITEMSTRUCT*;
struct MEASUREITEMSTRUCT {
  UINT CtlType;
  UINT CtlID;
  UINT itemID;
  UINT itemWidth;
  UINT itemHeight;
  ULONG_PTR itemData;
};
using LPMEASUREITEMSTRUCT = MEASUREITEMSTRUCT*;

// Common-control notifications.
inline constexpr UINT NM_CLICK = static_cast<UINT>(-2);
inline constexpr UINT NM_DBLCLK = static_cast<UINT>(-3);
inline constexpr UINT LVN_ITEMCHANGED = static_cast<UINT>(-101);
inline constexpr UINT LVN_KEYDOWN = static_cast<UINT>(-155);
inline constexpr UINT TVN_SELCHANGED = static_cast<UINT>(-451);
inline constexpr UINT UDN_DELTAPOS = static_cast<UINT>(-722);

struct NMITEMACTIVATE {
  NMHDR hdr;
  int iItem;
  int iSubItem;
  UINT uNewState;
  UINT uOldState;
  UINT uChanged;
  POINT ptAction;
  LPARAM lParam;
  UINT uKeyFlags;
};
struct NMLISTVIEW {
  NMHDR hdr;
  int iItem;
  int iSubItem;
  UINT uNewState;
  UINT uOldState;
  UINT uChanged;
  POINT ptAction;
  LPARAM lParam;
};
struct NMLVKEYDOWN {
  NMHDR hdr;
  WORD wVKey;
  UINT flags;
};
struct NMUPDOWN {
  NMHDR hdr;
  int iPos;
  int iDelta;
};

// Scroll codes of WM_HSCROLL from a trackbar.
inline constexpr UINT SB_LINELEFT = 0;
inline constexpr UINT SB_LINERIGHT = 1;
inline constexpr UINT SB_PAGELEFT = 2;
inline constexpr UINT SB_PAGERIGHT = 3;
inline constexpr UINT SB_THUMBPOSITION = 4;
inline constexpr UINT SB_THUMBTRACK = 5;
inline constexpr UINT TBM_GETTHUMBRECT = 0x0419;

// List view.
inline constexpr DWORD LVS_REPORT = 0x0001;
inline constexpr DWORD LVS_SINGLESEL = 0x0004;
inline constexpr DWORD LVS_NOCOLUMNHEADER = 0x4000;
inline constexpr DWORD LVS_EX_GRIDLINES = 0x0001;
inline constexpr DWORD LVS_EX_CHECKBOXES = 0x0004;
inline constexpr DWORD LVS_EX_HEADERDRAGDROP = 0x0010;
inline constexpr DWORD LVS_EX_FULLROWSELECT = 0x0020;
inline constexpr int LVCFMT_LEFT = 0;
inline constexpr int LVCFMT_CENTER = 2;
inline constexpr UINT LVIS_SELECTED = 0x0002;
inline constexpr UINT LVIS_STATEIMAGEMASK = 0xF000;
inline constexpr UINT LVIF_STATE = 0x0008;
inline constexpr UINT LVNI_SELECTED = 0x0002;

// Tree view.
struct TREEITEM;
using HTREEITEM = TREEITEM*;
#define TVI_ROOT (reinterpret_cast<HTREEITEM>(static_cast<intptr_t>(-0x10000)))
#define TVI_LAST (reinterpret_cast<HTREEITEM>(static_cast<intptr_t>(-0x0FFFE)))
inline constexpr UINT TVE_COLLAPSE = 1;
inline constexpr UINT TVE_EXPAND = 2;
struct TVITEM {
  UINT mask;
  HTREEITEM hItem;
  UINT state;
  UINT stateMask;
  WCHAR* pszText;
  int cchTextMax;
  int iImage;
  int iSelectedImage;
  int cChildren;
  LPARAM lParam;
};
struct NMTREEVIEW {
  NMHDR hdr;
  UINT action;
  TVITEM itemOld;
  TVITEM itemNew;
  POINT ptDrag;
};

// Progress bar.
inline constexpr DWORD PBS_VERTICAL = 0x04;
inline constexpr UINT PBM_SETRANGE = 0x0401;
inline constexpr UINT PBM_SETPOS = 0x0402;
inline constexpr UINT PBM_SETSTEP = 0x0404;
inline constexpr UINT PBM_STEPIT = 0x0405;
inline constexpr UINT PBM_GETPOS = 0x0408;

class CButton : public CWnd {
  DECLARE_DYNAMIC(CButton)

 public:
  const WCHAR* GetWindowClassName() const override { return u"Button"; }
  UINT GetCheck() const;
  void SetCheck(UINT check);
  UINT GetButtonStyle() const { return m_dwStyle & BS_TYPEMASK; }
  void SetButtonStyle(UINT style, BOOL redraw = TRUE);
  // Paints an owner-drawn button; the default hands it to the parent
  // (WM_DRAWITEM).
  virtual void DrawItem(LPDRAWITEMSTRUCT dis);
  BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
  LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 protected:
  QWidget* CreateWidget(QWidget* parent, const CREATESTRUCT& cs) override;
  void ApplyText(const QString& text) override;
};

class CStatic : public CWnd {
  DECLARE_DYNAMIC(CStatic)

 public:
  const WCHAR* GetWindowClassName() const override { return u"Static"; }
  // Shows the bitmap (STM_SETIMAGE); returns the one shown before.
  CBitmap* SetBitmap(CBitmap* bitmap);
  LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 protected:
  QWidget* CreateWidget(QWidget* parent, const CREATESTRUCT& cs) override;
  void ApplyText(const QString& text) override;
  CBitmap* m_pBitmap = nullptr;
};

class CEdit : public CWnd {
  DECLARE_DYNAMIC(CEdit)

 public:
  const WCHAR* GetWindowClassName() const override { return u"Edit"; }
  void LimitText(int maxChars = 0);
  void GetSel(int& start, int& end) const;
  void SetSel(int start, int end, BOOL noScroll = FALSE);
  // Lets the input method compose text in the edit, or not.
  void SetInputMethod(BOOL enabled);
  LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 protected:
  QWidget* CreateWidget(QWidget* parent, const CREATESTRUCT& cs) override;
  void ApplyText(const QString& text) override;
};

class CListBox : public CWnd {
 public:
  const WCHAR* GetWindowClassName() const override { return u"ListBox"; }
  int AddString(const CString& text);
  int DeleteString(UINT index);
  void ResetContent();
  int GetCount() const;
  int GetCurSel() const;
  int SetCurSel(int index);
  int GetText(int index, CString& text) const;
  DWORD_PTR GetItemData(int index) const;
  int SetItemData(int index, DWORD_PTR data);
  // The height of the items (of every item in an owner-drawn list); LB_ERR
  // for 0 or above 255.
  int SetItemHeight(int index, UINT height);
  int GetItemRect(int index, LPRECT rect) const;
  // The item at a client point (low word) and whether the point is outside
  // every item (high word 1).
  UINT ItemFromPoint(CPoint point, BOOL& outside) const;
  int GetTopIndex() const;
  int SetTopIndex(int index);
  // The list's answer to a key pressed in a list with LBS_WANTKEYBOARDINPUT,
  // `index` the item with the caret: -2 the key is handled, -1 the list's own
  // action, an item index selects that item. The default asks the parent
  // (WM_VKEYTOITEM, whose default answer is -1).
  virtual int VKeyToItem(UINT key, UINT index);
  // An owner-drawn list (LBS_OWNERDRAWFIXED) paints each item through
  // DrawItem and makes every item as high as MeasureItem says, asked once
  // when the items are first laid out. The defaults hand both to the parent
  // (WM_DRAWITEM, WM_MEASUREITEM).
  virtual void DrawItem(LPDRAWITEMSTRUCT dis);
  virtual void MeasureItem(LPMEASUREITEMSTRUCT mis);
  // The height of each item of an owner-drawn list, measured on first use.
  UINT OwnerDrawItemHeight();

 protected:
  QWidget* CreateWidget(QWidget* parent, const CREATESTRUCT& cs) override;
  UINT m_nItemHeight = 0;
};

class CComboBox : public CWnd {
 public:
  const WCHAR* GetWindowClassName() const override { return u"ComboBox"; }
  int AddString(const CString& text);
  void ResetContent();
  int GetCount() const;
  int GetCurSel() const;
  int SetCurSel(int index);
  // The first item after `startAfter` (-1: from the start) that begins with
  // `prefix`, without regard to case; CB_ERR when none does.
  int FindString(int startAfter, const CString& prefix) const;
  int SelectString(int startAfter, const CString& prefix);
  void GetLBText(int index, CString& text) const;

 protected:
  QWidget* CreateWidget(QWidget* parent, const CREATESTRUCT& cs) override;
};

class CListCtrl : public CWnd {
 public:
  const WCHAR* GetWindowClassName() const override { return u"SysListView32"; }
  DWORD SetExtendedStyle(DWORD exStyle);
  int InsertColumn(int column, const CString& heading, int format = LVCFMT_LEFT, int width = -1);
  int InsertItem(int index, const CString& text);
  BOOL SetItemText(int item, int subItem, const CString& text);
  CString GetItemText(int item, int subItem) const;
  BOOL DeleteAllItems();
  int GetItemCount() const;
  BOOL SetItemState(int item, UINT state, UINT mask);
  int GetNextItem(int start, UINT flags) const;
  BOOL GetCheck(int item) const;
  BOOL SetCheck(int item, BOOL check = TRUE);
  BOOL SetItemData(int item, DWORD_PTR data);
  DWORD_PTR GetItemData(int item) const;

 protected:
  QWidget* CreateWidget(QWidget* parent, const CREATESTRUCT& cs) override;
  DWORD m_dwListExStyle = 0;
};

class CTreeCtrl : public CWnd {
 public:
  const WCHAR* GetWindowClassName() const override { return u"SysTreeView32"; }
  HTREEITEM InsertItem(const CString& text, HTREEITEM parent = TVI_ROOT, HTREEITEM after = TVI_LAST);
  BOOL SetItemData(HTREEITEM item, DWORD_PTR data);
  DWORD_PTR GetItemData(HTREEITEM item) const;
  CString GetItemText(HTREEITEM item) const;
  BOOL Expand(HTREEITEM item, UINT code);
  HTREEITEM GetSelectedItem() const;
  BOOL SelectItem(HTREEITEM item);
  BOOL DeleteAllItems();

 protected:
  QWidget* CreateWidget(QWidget* parent, const CREATESTRUCT& cs) override;
};

// A frame around pages; the pages are the dialog's own controls.
class CTabCtrl : public CWnd {
 public:
  const WCHAR* GetWindowClassName() const override { return u"SysTabControl32"; }

 protected:
  QWidget* CreateWidget(QWidget* parent, const CREATESTRUCT& cs) override;
};

class CSpinButtonCtrl : public CWnd {
 public:
  const WCHAR* GetWindowClassName() const override { return u"msctls_updown32"; }
  void SetRange(int lower, int upper);
  int SetPos(int pos);
  int GetPos() const { return m_nPos; }
  // One step as the arrows do: UDN_DELTAPOS first, whose non-zero answer
  // cancels it, then the new position.
  void Step(int delta);

 protected:
  QWidget* CreateWidget(QWidget* parent, const CREATESTRUCT& cs) override;
  int m_nLower = 0;
  int m_nUpper = 100;
  int m_nPos = 0;
};

class CSliderCtrl : public CWnd {
 public:
  const WCHAR* GetWindowClassName() const override { return u"msctls_trackbar32"; }
  void SetRange(int minimum, int maximum, BOOL redraw = FALSE);
  void SetPos(int pos);
  int GetPos() const;
  void GetThumbRect(LPRECT rect) const;
  LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 protected:
  QWidget* CreateWidget(QWidget* parent, const CREATESTRUCT& cs) override;
};

class CProgressCtrl : public CWnd {
 public:
  const WCHAR* GetWindowClassName() const override { return u"msctls_progress32"; }
  void SetRange(short lower, short upper) { SendMessage(PBM_SETRANGE, 0, MAKELPARAM(lower, upper)); }
  int SetPos(int pos) { return static_cast<int>(SendMessage(PBM_SETPOS, pos)); }
  int GetPos() { return static_cast<int>(SendMessage(PBM_GETPOS)); }
  int SetStep(int step) { return static_cast<int>(SendMessage(PBM_SETSTEP, step)); }
  int StepIt() { return static_cast<int>(SendMessage(PBM_STEPIT)); }
  LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 protected:
  QWidget* CreateWidget(QWidget* parent, const CREATESTRUCT& cs) override;
  int m_nStep = 10;
};

inline constexpr DWORD TTS_ALWAYSTIP = 0x01;
inline constexpr DWORD TTDT_INITIAL = 3;

class CToolTipCtrl : public CWnd {
 public:
  const WCHAR* GetWindowClassName() const override { return u"tooltips_class32"; }
  BOOL Create(CWnd* parent, DWORD style = 0);
  BOOL AddTool(CWnd* wnd, const CString& text);
  void UpdateTipText(const CString& text, CWnd* wnd);
  void Activate(BOOL active);
  // Tips show at once here: the initial delay is always 0.
  void SetDelayTime(DWORD which, int ms);
  void RelayEvent(MSG* msg);
  void Pop();

 protected:
  QWidget* CreateWidget(QWidget* parent, const CREATESTRUCT& cs) override;
  std::vector<std::pair<HWND, CString>> m_tools;
  BOOL m_bActive = TRUE;
};

// The control class for a Windows class name; null for an unknown one.
CWnd* AfxCreateControl(const CString& className);

#include "mfc/dialog.h"

#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QWidget>

#include "mfc/internal/child_windows.h"
#include "mfc/internal/message_pump.h"
#include "mfc/keys.h"
#include "mfc/resources.h"
#include "mfc/win_thread.h"
#include "win32/muldiv.h"

using namespace tlx::mfc;

IMPLEMENT_DYNAMIC(CDialog, CWnd)

namespace {

struct ControlTemplate {
  int id;
  QString className;
  QString text;
  QRect rect;
  DWORD style;
  DWORD exStyle;
  int image;
};

struct DialogTemplate {
  QString caption;
  QSize size;
  QString fontFace;
  int fontSize = 0;
  int fontWeight = FW_NORMAL;
  bool child = false;
  bool hasCaption = true;
  bool visible = false;
  std::vector<ControlTemplate> controls;
};

bool IntField(const QJsonObject& o, const char* name, int* value) {
  QJsonValue v = o.value(QLatin1String(name));
  if (!v.isDouble()) return false;
  double d = v.toDouble();
  if (d != static_cast<double>(static_cast<int64_t>(d)) || d < INT32_MIN || d > UINT32_MAX) return false;
  *value = static_cast<int>(static_cast<int64_t>(d));
  return true;
}

// A text given as "name" or as a string id "nameId".
bool TextField(const QJsonObject& o, const char* name, QString* text) {
  QJsonValue v = o.value(QLatin1String(name));
  if (v.isString()) {
    *text = v.toString();
    return true;
  }
  if (!v.isUndefined()) return false;
  QString idName = QLatin1String(name) + QLatin1String("Id");
  if (!o.contains(idName)) {
    text->clear();
    return true;
  }
  int id = 0;
  return IntField(o, idName.toLatin1().constData(), &id) && id >= 0 &&
         LoadResourceString(static_cast<UINT>(id), text);
}

bool Box(const QJsonValue& v, int count, int* out) {
  if (!v.isArray() || v.toArray().size() != count) return false;
  QJsonArray a = v.toArray();
  for (int i = 0; i < count; ++i) {
    if (!a[i].isDouble()) return false;
    double d = a[i].toDouble();
    if (d != static_cast<int>(d) || d < -32768 || d > 32767) return false;
    out[i] = static_cast<int>(d);
  }
  return true;
}

bool ParseTemplate(const QByteArray& json, DialogTemplate* t) {
  QJsonParseError error;
  QJsonDocument doc = QJsonDocument::fromJson(json, &error);
  if (error.error != QJsonParseError::NoError || !doc.isObject()) return false;
  QJsonObject o = doc.object();
  int size[2];
  if (!Box(o.value("size"), 2, size) || size[0] < 0 || size[1] < 0) return false;
  t->size = QSize(size[0], size[1]);
  if (!TextField(o, "caption", &t->caption)) return false;
  if (o.contains("font")) {
    if (!o.value("font").isObject()) return false;
    QJsonObject f = o.value("font").toObject();
    if (!TextField(f, "face", &t->fontFace)) return false;
    if (!IntField(f, "size", &t->fontSize) || t->fontSize <= 0 || t->fontSize > 200) return false;
    if (f.contains("weight") && (!IntField(f, "weight", &t->fontWeight) || t->fontWeight < 0 || t->fontWeight > 1000)) {
      return false;
    }
  }
  if (o.contains("style")) {
    if (!o.value("style").isObject()) return false;
    QJsonObject s = o.value("style").toObject();
    for (auto [name, flag] : {std::pair{"child", &t->child}, {"caption", &t->hasCaption}, {"visible", &t->visible}}) {
      QJsonValue v = s.value(QLatin1String(name));
      if (v.isUndefined()) continue;
      if (!v.isBool()) return false;
      *flag = v.toBool();
    }
  }
  QJsonValue controls = o.value("controls");
  if (controls.isUndefined()) return true;
  if (!controls.isArray()) return false;
  for (const QJsonValue& cv : controls.toArray()) {
    if (!cv.isObject()) return false;
    QJsonObject c = cv.toObject();
    ControlTemplate ct{};
    int rect[4];
    int style = 0;
    if (!IntField(c, "id", &ct.id) || !c.value("class").isString() || !Box(c.value("rect"), 4, rect) ||
        rect[2] < 0 || rect[3] < 0 || !TextField(c, "text", &ct.text)) {
      return false;
    }
    ct.className = c.value("class").toString();
    ct.rect = QRect(rect[0], rect[1], rect[2], rect[3]);
    if (c.contains("style") && !IntField(c, "style", &style)) return false;
    ct.style = static_cast<DWORD>(style);
    int exStyle = 0;
    if (c.contains("exStyle") && !IntField(c, "exStyle", &exStyle)) return false;
    ct.exStyle = static_cast<DWORD>(exStyle);
    ct.image = 0;
    if (c.contains("image") && !IntField(c, "image", &ct.image)) return false;
    std::unique_ptr<CWnd> probe(AfxCreateControl(CString(ct.className)));
    if (!probe) return false;
    t->controls.push_back(ct);
  }
  return true;
}

}  // namespace

CDialog::~CDialog() {
  if (m_hWnd != nullptr && OnGuiThread() && LookupWindow(m_hWnd) == this) DestroyWindow();
}

BOOL CDialog::CreateFromTemplate(CWnd* parent, bool modal) {
  QByteArray json;
  DialogTemplate t;
  if (!LoadDialogTemplate(m_nIDTemplate, &json) || !ParseTemplate(json, &t)) return FALSE;
  DWORD style = t.child ? WS_CHILD : WS_POPUP;
  if (t.hasCaption && !t.child) style |= WS_CAPTION;
  if (!CreateEx(0, u"#32770", reinterpret_cast<const WCHAR*>(t.caption.utf16()), style, 0, 0, t.size.width(),
                t.size.height(), parent == nullptr ? nullptr : parent->m_hWnd, 0)) {
    return FALSE;
  }
  if (modal) m_pWidget->setWindowModality(Qt::WindowModal);
  if (t.fontSize > 0) {
    LOGFONT lf{};
    lf.lfHeight = -MulDiv(t.fontSize, 96, 72);
    lf.lfWeight = t.fontWeight;
    for (int i = 0; i < t.fontFace.size() && i < LF_FACESIZE - 1; ++i) lf.lfFaceName[i] = t.fontFace.at(i).unicode();
    m_font.CreateFontIndirect(&lf);
    SetFont(&m_font, FALSE);
  }
  for (const ControlTemplate& c : t.controls) {
    std::unique_ptr<CWnd> control(AfxCreateControl(CString(c.className)));
    if (!control->CreateEx(c.exStyle, reinterpret_cast<const WCHAR*>(c.className.utf16()),
                           reinterpret_cast<const WCHAR*>(c.text.utf16()), c.style | WS_CHILD, c.rect.x(),
                           c.rect.y(), c.rect.width(), c.rect.height(), m_hWnd, static_cast<UINT_PTR>(c.id))) {
      DestroyWindow();
      return FALSE;
    }
    control->SetWindowText(CString(c.text));
    if (m_font.created) control->SetFont(&m_font, FALSE);
    if (c.image != 0) {
      QImage image;
      if (LoadResourceImage(static_cast<UINT>(c.image), &image)) {
        auto bitmap = std::make_unique<CBitmap>();
        bitmap->Attach(image);
        if (auto* picture = dynamic_cast<CStatic*>(control.get())) picture->SetBitmap(bitmap.get());
        m_images.push_back(std::move(bitmap));
      }
    }
    m_controls.push_back(std::move(control));
  }
  HWND self = m_hWnd;
  BOOL focusFirst = static_cast<BOOL>(SendMessage(WM_INITDIALOG, 0, 0));
  if (!IsWindow(self)) return FALSE;
  if (focusFirst) {
    for (CWnd* child : ChildWindows(this)) {
      if ((child->GetStyle() & WS_TABSTOP) && child->IsWindowEnabled()) {
        child->GetWidget()->setFocus(Qt::TabFocusReason);
        break;
      }
    }
  }
  if (t.visible || modal) ShowWindow(SW_SHOW);
  return TRUE;
}

BEGIN_MESSAGE_MAP(CDialog, CWnd)
  ON_MESSAGE(WM_INITDIALOG, HandleInitDialog)
END_MESSAGE_MAP()

LRESULT CDialog::HandleInitDialog(WPARAM, LPARAM) { return OnInitDialog(); }

INT_PTR CDialog::DoModal() {
  AssertGuiThread();
  CWnd* owner = m_pParentWnd != nullptr ? m_pParentWnd->GetTopLevelParent() : AfxGetMainWnd();
  if (owner != nullptr && owner->m_hWnd == nullptr) owner = nullptr;
  bool disabledOwner = owner != nullptr && owner->IsWindowEnabled();
  HWND ownerHandle = owner == nullptr ? nullptr : owner->m_hWnd;
  if (disabledOwner) owner->MarkDisabled(TRUE);
  m_bEnded = false;
  m_nResult = -1;
  INT_PTR result = -1;
  if (CreateFromTemplate(owner, true)) {
    if (!m_bEnded) {
      QEventLoop loop;
      m_pLoop = &loop;
      loop.exec();
      m_pLoop = nullptr;
    }
    result = m_nResult;
    if (m_hWnd != nullptr) DestroyWindow();
  }
  if (disabledOwner && IsWindow(ownerHandle)) owner->MarkDisabled(FALSE);
  return result;
}

BOOL CDialog::Create(UINT templateId, CWnd* parent) {
  m_nIDTemplate = templateId;
  m_pParentWnd = parent;
  return CreateFromTemplate(parent, false);
}

void CDialog::EndDialog(int result) {
  m_nResult = result;
  m_bEnded = true;
  if (m_pLoop != nullptr) {
    m_pLoop->quit();
  } else if (m_hWnd != nullptr) {
    ShowWindow(SW_HIDE);
  }
}

BOOL CDialog::OnInitDialog() {
  UpdateData(FALSE);
  return TRUE;
}

void CDialog::OnOK() {
  if (!UpdateData(TRUE)) return;
  EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

void CDialog::DoDataExchange(CDataExchange*) {}

BOOL CDialog::UpdateData(BOOL saveAndValidate) {
  CDataExchange dx(this, saveAndValidate);
  DoDataExchange(&dx);
  return TRUE;
}

BOOL CDialog::OnCmdMsg(UINT id, int code, void* extra, LRESULT* result) {
  if (CWnd::OnCmdMsg(id, code, extra, result)) return TRUE;
  if (extra != nullptr || code != static_cast<int>(BN_CLICKED)) return FALSE;
  if (id == IDOK) {
    OnOK();
    return TRUE;
  }
  if (id == IDCANCEL) {
    OnCancel();
    return TRUE;
  }
  return FALSE;
}

BOOL CDialog::PreTranslateMessage(MSG* msg) {
  if (msg->message != WM_KEYDOWN) return FALSE;
  if (msg->wParam == VK_ESCAPE) {
    SendMessage(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    return TRUE;
  }
  if (msg->wParam == VK_RETURN) {
    // Enter presses the focused push button, else the default one (IDOK).
    int id = IDOK;
    CWnd* focus = GetFocus();
    if (auto* button = dynamic_cast<CButton*>(focus);
        button != nullptr && button->GetParent() == this &&
        (button->GetButtonStyle() == BS_PUSHBUTTON || button->GetButtonStyle() == BS_DEFPUSHBUTTON)) {
      id = button->GetDlgCtrlID();
    }
    SendMessage(WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
    return TRUE;
  }
  return FALSE;
}

void CDialog::CheckDlgButton(int id, UINT check) {
  if (CWnd* item = GetDlgItem(id)) item->SendMessage(BM_SETCHECK, check);
}

UINT CDialog::IsDlgButtonChecked(int id) const {
  CWnd* item = GetDlgItem(id);
  return item == nullptr ? 0 : static_cast<UINT>(item->SendMessage(BM_GETCHECK));
}

void CDialog::CheckRadioButton(int first, int last, int check) {
  for (int id = first; id <= last; ++id) CheckDlgButton(id, id == check ? BST_CHECKED : BST_UNCHECKED);
}

void CDialog::SetDlgItemText(int id, const CString& text) {
  if (CWnd* item = GetDlgItem(id)) item->SetWindowText(text);
}

int CDialog::GetDlgItemText(int id, CString& text) const {
  CWnd* item = GetDlgItem(id);
  text = item == nullptr ? CString() : item->GetWindowTextString();
  return text.GetLength();
}

void CDialog::BeginModalState() { EnableWindow(FALSE); }

void CDialog::EndModalState() { EnableWindow(TRUE); }

void DDX_Control(CDataExchange* dx, int id, CWnd& member) {
  if (member.m_hWnd == nullptr) member.SubclassDlgItem(static_cast<UINT>(id), dx->m_pDlgWnd);
}

void DDX_Text(CDataExchange* dx, int id, CString& value) {
  CWnd* item = dx->m_pDlgWnd->GetDlgItem(id);
  if (item == nullptr) return;
  if (dx->m_bSaveAndValidate) {
    value = item->GetWindowTextString();
  } else {
    item->SetWindowText(value);
  }
}

void DDX_Check(CDataExchange* dx, int id, int& value) {
  CWnd* item = dx->m_pDlgWnd->GetDlgItem(id);
  if (item == nullptr) return;
  if (dx->m_bSaveAndValidate) {
    value = static_cast<int>(item->SendMessage(BM_GETCHECK));
  } else {
    item->SendMessage(BM_SETCHECK, static_cast<WPARAM>(value));
  }
}

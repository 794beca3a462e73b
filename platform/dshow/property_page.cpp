#include "dshow/property_page.h"

#include "com/class_registry.h"
#include "dshow/base_pin.h"

CBasePropertyPage::CBasePropertyPage(const char* name, IUnknown* outer, int dialogId, int titleId,
                                     std::u16string title)
    : CUnknown(name, outer), m_DialogId(dialogId), m_TitleId(titleId), m_Title(std::move(title)) {}

CBasePropertyPage::~CBasePropertyPage() {
  if (m_pPageSite != nullptr) m_pPageSite->Release();
}

HRESULT CBasePropertyPage::NonDelegatingQueryInterface(REFIID iid, void** object) {
  if (iid == IID_IPropertyPage) return GetInterface(static_cast<IPropertyPage*>(this), object);
  return CUnknown::NonDelegatingQueryInterface(iid, object);
}

HRESULT CBasePropertyPage::SetPageSite(IPropertyPageSite* site) {
  if (site != nullptr) {
    if (m_pPageSite != nullptr) return E_UNEXPECTED;
    m_pPageSite = site;
    m_pPageSite->AddRef();
  } else {
    if (m_pPageSite == nullptr) return E_UNEXPECTED;
    m_pPageSite->Release();
    m_pPageSite = nullptr;
  }
  return S_OK;
}

HRESULT CBasePropertyPage::Activate(HWND parent, LPCRECT, BOOL) {
  if (!m_bObjectSet) return E_UNEXPECTED;
  if (m_bActive) return E_UNEXPECTED;
  m_hwnd = parent;
  m_Controls.clear();
  m_bActive = TRUE;
  HRESULT hr = OnActivate();
  if (FAILED(hr)) m_bActive = FALSE;
  return hr;
}

HRESULT CBasePropertyPage::Deactivate() {
  if (!m_bActive) return E_UNEXPECTED;
  HRESULT hr = OnDeactivate();
  m_bActive = FALSE;
  m_hwnd = nullptr;
  return hr;
}

HRESULT CBasePropertyPage::GetPageInfo(PROPPAGEINFO* info) {
  if (info == nullptr) return E_POINTER;
  info->cb = sizeof(PROPPAGEINFO);
  info->pszTitle = CoTaskStringCopy(m_Title);
  if (info->pszTitle == nullptr) return E_OUTOFMEMORY;
  info->size = m_Size;
  info->pszDocString = nullptr;
  info->pszHelpFile = nullptr;
  info->dwHelpContext = 0;
  return S_OK;
}

HRESULT CBasePropertyPage::SetObjects(ULONG count, IUnknown** objects) {
  if (count == 1) {
    if (objects == nullptr || *objects == nullptr) return E_POINTER;
    m_bObjectSet = TRUE;
    return OnConnect(*objects);
  }
  if (count == 0) {
    m_bObjectSet = FALSE;
    return OnDisconnect();
  }
  return E_UNEXPECTED;
}

HRESULT CBasePropertyPage::Show(UINT) { return m_bActive ? S_OK : E_UNEXPECTED; }
HRESULT CBasePropertyPage::Move(LPCRECT rect) { return rect != nullptr ? S_OK : E_POINTER; }

HRESULT CBasePropertyPage::Apply() {
  if (!m_bObjectSet || m_pPageSite == nullptr) return E_UNEXPECTED;
  if (!m_bDirty) return S_OK;
  HRESULT hr = OnApplyChanges();
  if (SUCCEEDED(hr)) m_bDirty = FALSE;
  return hr;
}

INT_PTR CBasePropertyPage::OnReceiveMessage(HWND, UINT, WPARAM, LPARAM) { return 0; }

void CBasePropertyPage::SetDirty() {
  m_bDirty = TRUE;
  if (m_pPageSite != nullptr) m_pPageSite->OnStatusChange(PROPPAGESTATUS_DIRTY);
}

void CBasePropertyPage::SetControlText(int id, const std::string& text) { m_Controls[id].text = text; }

std::string CBasePropertyPage::ControlText(int id) const {
  auto it = m_Controls.find(id);
  return it == m_Controls.end() ? std::string() : it->second.text;
}

void CBasePropertyPage::SetControlCheck(int id, bool checked) { m_Controls[id].checked = checked; }

bool CBasePropertyPage::IsControlChecked(int id) const {
  auto it = m_Controls.find(id);
  return it != m_Controls.end() && it->second.checked;
}

void CBasePropertyPage::EnableControl(int id, bool enabled) { m_Controls[id].enabled = enabled; }

bool CBasePropertyPage::IsControlEnabled(int id) const {
  auto it = m_Controls.find(id);
  return it == m_Controls.end() || it->second.enabled;
}

void CBasePropertyPage::ShowControl(int id, bool visible) { m_Controls[id].visible = visible; }

bool CBasePropertyPage::IsControlVisible(int id) const {
  auto it = m_Controls.find(id);
  return it == m_Controls.end() || it->second.visible;
}

void CBasePropertyPage::ResetControlItems(int id) {
  ControlState& control = m_Controls[id];
  control.items.clear();
  control.selection = -1;
}

int CBasePropertyPage::AddControlItem(int id, const std::string& item) {
  ControlState& control = m_Controls[id];
  control.items.push_back(item);
  return static_cast<int>(control.items.size()) - 1;
}

bool CBasePropertyPage::SetControlSelection(int id, int index) {
  ControlState& control = m_Controls[id];
  if (index < -1 || index >= static_cast<int>(control.items.size())) return false;
  control.selection = index;
  if (index >= 0) control.text = control.items[static_cast<size_t>(index)];
  return true;
}

int CBasePropertyPage::ControlSelection(int id) const {
  auto it = m_Controls.find(id);
  return it == m_Controls.end() ? -1 : it->second.selection;
}

const std::vector<std::string>& CBasePropertyPage::ControlItems(int id) { return m_Controls[id].items; }

bool CBasePropertyPage::HasControl(int id) const { return m_Controls.contains(id); }

HRESULT OnePropertyPage(CAUUID* pages, REFCLSID page) {
  if (pages == nullptr) return E_POINTER;
  pages->cElems = 0;
  pages->pElems = static_cast<GUID*>(CoTaskMemAlloc(sizeof(GUID)));
  if (pages->pElems == nullptr) return E_OUTOFMEMORY;
  pages->cElems = 1;
  pages->pElems[0] = page;
  return S_OK;
}

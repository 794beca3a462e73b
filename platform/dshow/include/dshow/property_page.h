// The base of a filter's property page. Pages run without a window here: the
// page keeps the state of its controls in a table addressed by control id,
// which the derived page fills on activation and reads back on apply, and
// which a window, when there is one, shows.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "com/unknown_base.h"
#include "dshow/crit_sec.h"
#include "dshow/interfaces.h"
#include "win32/messages.h"

class CBasePropertyPage : public CUnknown, public IPropertyPage {
 public:
  // `dialogId` and `titleId` name the page's resources; `title` is the
  // page's title text.
  CBasePropertyPage(const char* name, IUnknown* outer, int dialogId, int titleId, std::u16string title = u"");
  ~CBasePropertyPage() override;

  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override;

  // A site is set once and cleared once (E_UNEXPECTED otherwise).
  STDMETHODIMP SetPageSite(IPropertyPageSite* site) override;
  // E_UNEXPECTED without an object; otherwise OnActivate.
  STDMETHODIMP Activate(HWND parent, LPCRECT rect, BOOL modal) override;
  STDMETHODIMP Deactivate() override;
  STDMETHODIMP GetPageInfo(PROPPAGEINFO* info) override;
  // One object: OnConnect; none: OnDisconnect; more: E_UNEXPECTED.
  STDMETHODIMP SetObjects(ULONG count, IUnknown** objects) override;
  STDMETHODIMP Show(UINT cmdShow) override;
  STDMETHODIMP Move(LPCRECT rect) override;
  STDMETHODIMP IsPageDirty() override { return m_bDirty ? S_OK : S_FALSE; }
  // OnApplyChanges when dirty; the page is clean after it succeeds.
  STDMETHODIMP Apply() override;
  STDMETHODIMP Help(LPCOLESTR) override { return E_NOTIMPL; }
  STDMETHODIMP TranslateAccelerator(MSG*) override { return E_NOTIMPL; }

  // The derived page's part.
  virtual HRESULT OnConnect(IUnknown*) { return S_OK; }
  virtual HRESULT OnDisconnect() { return S_OK; }
  virtual HRESULT OnActivate() { return S_OK; }
  virtual HRESULT OnDeactivate() { return S_OK; }
  virtual HRESULT OnApplyChanges() { return S_OK; }
  // Messages from the page's controls (WM_COMMAND with the control id in the
  // low word of wParam); 0 when not handled.
  virtual INT_PTR OnReceiveMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  // Marks the page dirty and tells the site.
  void SetDirty();
  BOOL IsActive() const { return m_bActive; }

  // The control-state table.
  struct ControlState {
    std::string text;
    bool checked = false;
    bool enabled = true;
    bool visible = true;
    std::vector<std::string> items;  // list and combo boxes
    int selection = -1;
  };
  void SetControlText(int id, const std::string& text);
  std::string ControlText(int id) const;
  void SetControlCheck(int id, bool checked);
  bool IsControlChecked(int id) const;
  void EnableControl(int id, bool enabled);
  bool IsControlEnabled(int id) const;
  void ShowControl(int id, bool visible);
  bool IsControlVisible(int id) const;
  void ResetControlItems(int id);
  // Index of the new item.
  int AddControlItem(int id, const std::string& item);
  // Selects an item (also taking its text, as a drop-down list does); -1
  // clears the selection. False for an index past the items.
  bool SetControlSelection(int id, int index);
  int ControlSelection(int id) const;
  const std::vector<std::string>& ControlItems(int id);
  bool HasControl(int id) const;

  int DialogId() const { return m_DialogId; }
  int TitleId() const { return m_TitleId; }

 protected:
  IPropertyPageSite* m_pPageSite = nullptr;  // with a reference
  BOOL m_bDirty = FALSE;
  BOOL m_bObjectSet = FALSE;
  BOOL m_bActive = FALSE;
  HWND m_hwnd = nullptr;
  SIZE m_Size{0, 0};

 private:
  const int m_DialogId;
  const int m_TitleId;
  const std::u16string m_Title;
  std::map<int, ControlState> m_Controls;
};

// ISpecifyPropertyPages::GetPages for a filter with a single page: fills
// *pages with `page` in task memory the caller frees. E_POINTER for a null
// pages, E_OUTOFMEMORY (with no elements) when the memory is not there.
HRESULT OnePropertyPage(CAUUID* pages, REFCLSID page);

#include "mfc/cmd_target.h"

const CRuntimeClass CObject::classCObject = {"CObject", nullptr, nullptr};
const CRuntimeClass* CObject::GetRuntimeClass() const { return &classCObject; }

BOOL CRuntimeClass::IsDerivedFrom(const CRuntimeClass* base) const {
  for (const CRuntimeClass* c = this; c != nullptr; c = c->m_pBaseClass) {
    if (c == base) return TRUE;
  }
  return FALSE;
}

const CRuntimeClass CCmdTarget::classCCmdTarget = {"CCmdTarget", nullptr, &CObject::classCObject};
const CRuntimeClass* CCmdTarget::GetRuntimeClass() const { return &classCCmdTarget; }

const AFX_MSGMAP* CCmdTarget::GetThisMessageMap() {
  static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, 0, nullptr}};
  static const AFX_MSGMAP map = {nullptr, entries};
  return &map;
}

const AFX_MSGMAP* CCmdTarget::GetMessageMap() const { return GetThisMessageMap(); }

const AFX_MSGMAP_ENTRY* CCmdTarget::FindEntry(UINT message, UINT code, UINT id) const {
  for (const AFX_MSGMAP* map = GetMessageMap(); map != nullptr;
       map = map->pfnGetBaseMap ? map->pfnGetBaseMap() : nullptr) {
    for (const AFX_MSGMAP_ENTRY* e = map->lpEntries; e->pfn != nullptr; ++e) {
      // The code tells an entry for the control itself (reflected) from one
      // for its parent; commands and notifications also match the id.
      if (e->nMessage != message || e->nCode != code) continue;
      if ((message == WM_COMMAND || message == WM_NOTIFY) && (code & kMapCodeReflect) == 0 &&
          (id < e->nID || id > e->nLastID)) {
        continue;
      }
      return e;
    }
  }
  return nullptr;
}

BOOL CCmdTarget::OnCmdMsg(UINT id, int code, void* extra, LRESULT* result) {
  UINT message = extra == nullptr ? WM_COMMAND : WM_NOTIFY;
  const AFX_MSGMAP_ENTRY* entry = FindEntry(message, static_cast<UINT>(code), id);
  if (entry == nullptr) return FALSE;
  LRESULT r = message == WM_COMMAND ? entry->pfn(this, id, 0)
                                    : entry->pfn(this, reinterpret_cast<WPARAM>(result), reinterpret_cast<LPARAM>(extra));
  if (message == WM_COMMAND && result != nullptr) *result = r;
  return TRUE;
}

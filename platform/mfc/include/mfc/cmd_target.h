// The roots of the class tree: CObject with run-time classes (for creating a
// user-interface thread by its class), and CCmdTarget with the message maps
// that route messages and commands to member functions.
//
// A message map is a static table per class, chained to its base class's
// table. Each entry holds a plain function that calls the member with MFC's
// signature, so a handler's parameters are checked when the map is compiled.
#pragma once

#include "mfc/message_ids.h"
#include "win32/types.h"

class CObject;
class CCmdTarget;

struct CRuntimeClass {
  const char* m_lpszClassName;
  CObject* (*m_pfnCreateObject)();
  const CRuntimeClass* m_pBaseClass;
  // A new object of the class; null for a class without DECLARE_DYNCREATE.
  CObject* CreateObject() const { return m_pfnCreateObject ? m_pfnCreateObject() : nullptr; }
  BOOL IsDerivedFrom(const CRuntimeClass* base) const;
};

class CObject {
 public:
  virtual ~CObject() = default;
  virtual const CRuntimeClass* GetRuntimeClass() const;
  BOOL IsKindOf(const CRuntimeClass* cls) const { return GetRuntimeClass()->IsDerivedFrom(cls); }
  static const CRuntimeClass classCObject;
};

#define RUNTIME_CLASS(cls) (&cls::class##cls)

#define DECLARE_DYNAMIC(cls)                             \
 public:                                                 \
  static const CRuntimeClass class##cls;                 \
  const CRuntimeClass* GetRuntimeClass() const override;

#define DECLARE_DYNCREATE(cls) \
  DECLARE_DYNAMIC(cls)         \
  static CObject* CreateObject();

#define IMPLEMENT_DYNAMIC(cls, base)                                               \
  const CRuntimeClass cls::class##cls = {#cls, nullptr, RUNTIME_CLASS(base)};      \
  const CRuntimeClass* cls::GetRuntimeClass() const { return RUNTIME_CLASS(cls); }

#define IMPLEMENT_DYNCREATE(cls, base)                                                   \
  CObject* cls::CreateObject() { return new cls; }                                      \
  const CRuntimeClass cls::class##cls = {#cls, &cls::CreateObject, RUNTIME_CLASS(base)}; \
  const CRuntimeClass* cls::GetRuntimeClass() const { return RUNTIME_CLASS(cls); }

// One entry: the message, for WM_COMMAND and WM_NOTIFY the notification code
// and the range of control ids, and the call of the member, which returns the
// message's result.
using AFX_PMSG = LRESULT (*)(CCmdTarget* target, WPARAM wParam, LPARAM lParam);
struct AFX_MSGMAP_ENTRY {
  UINT nMessage;
  UINT nCode;
  UINT nID;
  UINT nLastID;
  AFX_PMSG pfn;
};

struct AFX_MSGMAP {
  const AFX_MSGMAP* (*pfnGetBaseMap)();
  const AFX_MSGMAP_ENTRY* lpEntries;
};

// Codes of the map entries that do not come from a control notification.
inline constexpr UINT kMapCodeCommand = 0;            // ON_COMMAND: a menu or accelerator command
inline constexpr UINT kMapCodeReflect = 0x80000000u;  // ON_..._REFLECT: offered to the control itself

class CCmdTarget : public CObject {
 public:
  // Offers a command (WM_COMMAND code and id) or a notification (WM_NOTIFY,
  // `extra` the NMHDR) to the message map. TRUE when an entry took it.
  virtual BOOL OnCmdMsg(UINT id, int code, void* extra, LRESULT* result);

  static const CRuntimeClass classCCmdTarget;
  const CRuntimeClass* GetRuntimeClass() const override;

 protected:
  static const AFX_MSGMAP* GetThisMessageMap();
  virtual const AFX_MSGMAP* GetMessageMap() const;
  // The entry for the message (and code and id), searching the class's map and
  // then its bases'; null when there is none.
  const AFX_MSGMAP_ENTRY* FindEntry(UINT message, UINT code, UINT id) const;
};

#define DECLARE_MESSAGE_MAP()                       \
 protected:                                         \
  static const AFX_MSGMAP* GetThisMessageMap();     \
  const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                           \
  const AFX_MSGMAP* theClass::GetMessageMap() const { return GetThisMessageMap(); }    \
  const AFX_MSGMAP* theClass::GetThisMessageMap() {                                     \
    using ThisClass [[maybe_unused]] = theClass;                                                       \
    using TheBaseClass = baseClass;                                                     \
    static const AFX_MSGMAP_ENTRY entries[] = {

#define END_MESSAGE_MAP()                                                     \
  {0, 0, 0, 0, nullptr}};                                                     \
  static const AFX_MSGMAP map = {&TheBaseClass::GetThisMessageMap, entries}; \
  return &map;                                                                \
  }

// The member call of an entry, written once: `call` uses `self`, `wParam` and
// `lParam` and yields the result. Entries end with their comma, as in MFC.
#define AFX_ENTRY(message, code, id, lastId, call)                                  \
  {message, code, id, lastId, [](CCmdTarget* target, WPARAM wParam, LPARAM lParam) -> LRESULT { \
     [[maybe_unused]] auto* self = static_cast<ThisClass*>(target);                   \
     (void)wParam;                                                                    \
     (void)lParam;                                                                    \
     call;                                                                            \
   }},

// ON_MESSAGE(message, LRESULT (ThisClass::*)(WPARAM, LPARAM))
#define ON_MESSAGE(message, memberFxn) \
  AFX_ENTRY(message, 0, 0, 0, return self->memberFxn(wParam, lParam))
// ON_THREAD_MESSAGE(message, void (ThisClass::*)(WPARAM, LPARAM)), for threads.
#define ON_THREAD_MESSAGE(message, memberFxn) \
  AFX_ENTRY(message, 0, 0, 0, self->memberFxn(wParam, lParam); return 0)
// ON_COMMAND(id, void (ThisClass::*)())
#define ON_COMMAND(id, memberFxn) \
  AFX_ENTRY(WM_COMMAND, kMapCodeCommand, id, id, self->memberFxn(); return 0)
// ON_COMMAND_RANGE(first, last, void (ThisClass::*)(UINT id))
#define ON_COMMAND_RANGE(id, lastId, memberFxn) \
  AFX_ENTRY(WM_COMMAND, kMapCodeCommand, id, lastId, self->memberFxn(static_cast<UINT>(wParam)); return 0)
// ON_CONTROL(code, id, void (ThisClass::*)())
#define ON_CONTROL(code, id, memberFxn) AFX_ENTRY(WM_COMMAND, code, id, id, self->memberFxn(); return 0)
// ON_NOTIFY(code, id, void (ThisClass::*)(NMHDR*, LRESULT*)): lParam is the NMHDR, wParam the result.
#define ON_NOTIFY(code, id, memberFxn)                                                                    \
  AFX_ENTRY(WM_NOTIFY, static_cast<UINT>(code), id, id,                                                   \
            self->memberFxn(reinterpret_cast<NMHDR*>(lParam), reinterpret_cast<LRESULT*>(wParam)); return 0)
// Reflected notifications, handled by the control that sent them. A reflect
// entry answers whether the parent is spared the notification.
#define ON_CONTROL_REFLECT(code, memberFxn) \
  AFX_ENTRY(WM_COMMAND, kMapCodeReflect | (code), 0, 0, self->memberFxn(); return TRUE)
// ON_CONTROL_REFLECT_EX(code, BOOL (ThisClass::*)()): a handler that answers
// FALSE lets the parent hear the notification too.
#define ON_CONTROL_REFLECT_EX(code, memberFxn) \
  AFX_ENTRY(WM_COMMAND, kMapCodeReflect | (code), 0, 0, return self->memberFxn())
#define ON_NOTIFY_REFLECT(code, memberFxn)                                                         \
  AFX_ENTRY(WM_NOTIFY, kMapCodeReflect | static_cast<UINT>(code), 0, 0,                            \
            self->memberFxn(reinterpret_cast<NMHDR*>(lParam), reinterpret_cast<LRESULT*>(wParam)); \
            return TRUE)

// The class list of a filter module: one factory template per class, with
// the function that makes an object of it and, for filters, the setup data
// that registration puts in the filter category. A module defines
//   CFactoryTemplate g_Templates[] = {...};
//   int g_cTemplates = sizeof(g_Templates) / sizeof(g_Templates[0]);
// and links tlx_dshow_module, which exports the module entries over them.
#pragma once

#include "com/unknown_base.h"
#include "dshow/interfaces.h"

using LPFNNewCOMObject = CUnknown* (*)(IUnknown* outer, HRESULT* hr);
using LPFNInitRoutine = void (*)(BOOL loading, const CLSID* clsid);

struct CFactoryTemplate {
  LPCWSTR m_Name;
  const CLSID* m_ClsID;
  LPFNNewCOMObject m_lpfnNew;
  LPFNInitRoutine m_lpfnInit;
  const AMOVIESETUP_FILTER* m_pAMovieSetup_Filter;

  BOOL IsClassID(REFCLSID clsid) const { return *m_ClsID == clsid; }
  CUnknown* CreateInstance(IUnknown* outer, HRESULT* hr) const { return m_lpfnNew(outer, hr); }
};

namespace tlx::dshow {

// The module entries over a template list. Objects made through the class
// objects count for `module`.
HRESULT TemplateGetClassObject(const CFactoryTemplate* templates, int count, com::ModuleObjects* module,
                               REFCLSID clsid, REFIID iid, void** object);
// Registers (or unregisters) every class of the list with the module being
// registered, and the filters among them in the filter category.
HRESULT TemplateRegisterServer(const CFactoryTemplate* templates, int count, bool registering);
// Calls the init routines of the list.
void TemplateInitRoutines(const CFactoryTemplate* templates, int count, BOOL loading);

}  // namespace tlx::dshow

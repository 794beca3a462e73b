// The entries a filter module exports, over its factory templates. Linked
// into each module, so each has its own object count.
#include "com/unknown.h"
#include "dshow/factory_template.h"
#include "export/tlx_export.h"

extern CFactoryTemplate g_Templates[];
extern int g_cTemplates;

namespace {

tlx::com::ModuleObjects g_moduleObjects;

__attribute__((constructor)) void ModuleLoaded() { tlx::dshow::TemplateInitRoutines(g_Templates, g_cTemplates, TRUE); }
__attribute__((destructor)) void ModuleUnloaded() {
  tlx::dshow::TemplateInitRoutines(g_Templates, g_cTemplates, FALSE);
}

}  // namespace

extern "C" {

TLX_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
  return tlx::dshow::TemplateGetClassObject(g_Templates, g_cTemplates, &g_moduleObjects, clsid, iid, object);
}

TLX_EXPORT HRESULT DllCanUnloadNow() {
  return g_moduleObjects.CanUnload() ? S_OK : S_FALSE;
}

TLX_EXPORT HRESULT DllRegisterServer() {
  return tlx::dshow::TemplateRegisterServer(g_Templates, g_cTemplates, true);
}

TLX_EXPORT HRESULT DllUnregisterServer() {
  return tlx::dshow::TemplateRegisterServer(g_Templates, g_cTemplates, false);
}

}  // extern "C"

// The classes this library serves itself: the graph manager, the system
// clock, the memory allocator, the device enumerator, the Infinite Pin Tee,
// the dump writer and the default audio renderer. They are registered when the
// library loads.
#include "com/class_registry.h"
#include "dshow/factory_template.h"
#include "dshow/internal/device_enum.h"
#include "dshow/internal/dsound_renderer.h"
#include "dshow/internal/dump_writer.h"
#include "dshow/internal/filter_graph.h"
#include "dshow/internal/inf_tee.h"
#include "dshow/media_sample.h"
#include "dshow/reference_clock.h"

namespace tlx::dshow {
namespace {

const CFactoryTemplate kBuiltinTemplates[] = {
    {u"Filter Graph", &CLSID_FilterGraph, CreateFilterGraph, nullptr, nullptr},
    {u"System Clock", &CLSID_SystemClock, CSystemClock::CreateInstance, nullptr, nullptr},
    {u"Memory Allocator", &CLSID_MemoryAllocator, CMemAllocator::CreateInstance, nullptr, nullptr},
    {u"System Device Enumerator", &CLSID_SystemDeviceEnum, CreateDeviceEnumerator, nullptr, nullptr},
    {u"Infinite Pin Tee Filter", &CLSID_InfTee, CreateInfTee, nullptr, nullptr},
    {u"Dump", &CLSID_Dump, CreateDumpWriter, nullptr, nullptr},
    {u"Audio Renderer", &CLSID_DSoundRender, CreateDSoundRenderer, nullptr, nullptr},
};

__attribute__((constructor)) void RegisterBuiltinClasses() {
  for (const CFactoryTemplate& t : kBuiltinTemplates) {
    com::RegisterClassObject(*t.m_ClsID, [&t](REFCLSID clsid, REFIID iid, void** object) {
      return TemplateGetClassObject(&t, 1, nullptr, clsid, iid, object);
    });
  }
}

}  // namespace
}  // namespace tlx::dshow

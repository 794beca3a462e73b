// Exports of the event manager.
#include "link/os/event_mgr.h"
#include "link/tlx_bcf.h"

TLX_BCF_API int tlxEventMgrCallbackAttach(TLX_EVENT_CALLBACK callback, void* context, unsigned eventMask) {
  return tlx::link::eventMgrCallbackAttach(callback, context, eventMask);
}

TLX_BCF_API int tlxEventMgrCallbackDetach(TLX_EVENT_CALLBACK callback) {
  return tlx::link::eventMgrCallbackDetach(callback);
}

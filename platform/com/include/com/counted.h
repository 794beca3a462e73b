// A small object that serves one interface with its own atomic count and is
// deleted by its last release. For enumerators, class objects and the like,
// which are never aggregated.
#pragma once

#include <atomic>

#include "com/unknown.h"

namespace tlx::com {

template <typename Interface>
class Counted : public Interface {
 public:
  ULONG AddRef() override { return static_cast<ULONG>(++ref_); }
  ULONG Release() override {
    LONG count = --ref_;
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
  }

 protected:
  Counted() = default;
  virtual ~Counted() = default;
  // QueryInterface over IUnknown and `own`.
  HRESULT Answer(REFIID iid, REFIID own, void** object) {
    if (object == nullptr) return E_POINTER;
    if (iid == IID_IUnknown || iid == own) {
      *object = static_cast<Interface*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }

 private:
  std::atomic<LONG> ref_{1};
};

}  // namespace tlx::com

// The base of every object the player's components make: a counted object that
// knows which module made it, and CUnknown, whose reference count and
// QueryInterface can be delegated to an outer object (aggregation).
#pragma once

#include <atomic>

#include "com/unknown.h"

namespace tlx::com {

// The live objects and server locks of one component module. The module may
// be unloaded when both are zero.
struct ModuleObjects {
  std::atomic<LONG> objects{0};
  std::atomic<LONG> locks{0};
  bool CanUnload() const { return objects.load() == 0 && locks.load() == 0; }
};

// While alive, objects constructed on this thread count for `module` (a
// module's class factory opens one around its creation call). Scopes nest.
class ModuleScope {
 public:
  explicit ModuleScope(ModuleObjects* module);
  ~ModuleScope();
  ModuleScope(const ModuleScope&) = delete;
  ModuleScope& operator=(const ModuleScope&) = delete;

 private:
  ModuleObjects* previous_;
};

}  // namespace tlx::com

class CBaseObject {
 public:
  // `name` is for debugging only and may be null.
  explicit CBaseObject(const char* name);
  CBaseObject(const CBaseObject&) = delete;
  CBaseObject& operator=(const CBaseObject&) = delete;
  virtual ~CBaseObject();

  // Objects alive in the whole process.
  static LONG ObjectsActive();

 private:
  tlx::com::ModuleObjects* module_;
};

// IUnknown of an object that may be aggregated: its own reference count and
// interface lookup are reached only through this interface.
struct INonDelegatingUnknown {
  virtual HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) = 0;
  virtual ULONG NonDelegatingAddRef() = 0;
  virtual ULONG NonDelegatingRelease() = 0;

 protected:
  ~INonDelegatingUnknown() = default;
};
using PNDUNKNOWN = INonDelegatingUnknown*;

class CUnknown : public INonDelegatingUnknown, public CBaseObject {
 public:
  // With a null `outer` the object is its own outer object. `hr` is kept for
  // the creation convention of the factory templates.
  CUnknown(const char* name, IUnknown* outer, HRESULT* hr = nullptr);

  // Answers IUnknown with the non-delegating interface.
  HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override;
  ULONG NonDelegatingAddRef() override;
  // Deletes the object when the count reaches zero.
  ULONG NonDelegatingRelease() override;

  IUnknown* GetOwner() const { return owner_; }
  // The object's own IUnknown, whose members are the non-delegating ones: what
  // an outer object holds of its inner object.
  IUnknown* GetInnerUnknown() { return &inner_; }

 protected:
  std::atomic<LONG> m_cRef{0};

 private:
  class Inner final : public IUnknown {
   public:
    explicit Inner(CUnknown* self) : self_(self) {}
    HRESULT QueryInterface(REFIID iid, void** object) override {
      return self_->NonDelegatingQueryInterface(iid, object);
    }
    ULONG AddRef() override { return self_->NonDelegatingAddRef(); }
    ULONG Release() override { return self_->NonDelegatingRelease(); }

   private:
    CUnknown* const self_;
  };

  Inner inner_{this};
  IUnknown* const owner_;
};

// Hands out `unknown` as the interface asked for, with a reference.
HRESULT GetInterface(IUnknown* unknown, void** object);

// The IUnknown members of a class derived from CUnknown: everything goes to
// the outer object.
#define DECLARE_IUNKNOWN                                                                   \
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {                       \
    return GetOwner()->QueryInterface(iid, object);                                       \
  }                                                                                        \
  STDMETHODIMP_(ULONG) AddRef() override { return GetOwner()->AddRef(); }                \
  STDMETHODIMP_(ULONG) Release() override { return GetOwner()->Release(); }

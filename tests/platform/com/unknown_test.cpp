#include <gtest/gtest.h>

#include "com/class_registry.h"
#include "com/com_ptr.h"
#include "com/unknown_base.h"

namespace {

using tlx::com::ComPtr;

constexpr IID IID_ICounter{0x2A6F2C10, 0x1B11, 0x4C5D, {0x9E, 0x01, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66}};
constexpr CLSID CLSID_Counter{0x2A6F2C11, 0x1B11, 0x4C5D, {0x9E, 0x01, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66}};

struct ICounter : IUnknown {
  virtual int Next() = 0;
};

// An aggregatable object: ICounter over CUnknown.
class Counter final : public CUnknown, public ICounter {
 public:
  Counter(IUnknown* outer, bool* destroyed) : CUnknown("counter", outer), destroyed_(destroyed) {}
  ~Counter() override { *destroyed_ = true; }
  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override {
    if (iid == IID_ICounter) return GetInterface(static_cast<ICounter*>(this), object);
    return CUnknown::NonDelegatingQueryInterface(iid, object);
  }
  int Next() override { return ++n_; }

 private:
  bool* destroyed_;
  int n_ = 0;
};

bool g_destroyed = false;

class CounterFactory final : public IClassFactory {
 public:
  HRESULT QueryInterface(REFIID iid, void** object) override {
    if (iid != IID_IUnknown && iid != IID_IClassFactory) return E_NOINTERFACE;
    *object = this;
    return S_OK;
  }
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }
  HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
    auto* counter = new Counter(outer, &g_destroyed);
    counter->NonDelegatingAddRef();
    HRESULT hr = counter->NonDelegatingQueryInterface(iid, object);
    counter->NonDelegatingRelease();
    return hr;
  }
  HRESULT LockServer(BOOL) override { return S_OK; }
};
CounterFactory g_factory;

class ComObjects : public ::testing::Test {
 protected:
  void SetUp() override {
    g_destroyed = false;
    tlx::com::RegisterClassObject(CLSID_Counter, [](REFCLSID, REFIID iid, void** object) {
      return g_factory.QueryInterface(iid, object);
    });
  }
  void TearDown() override { tlx::com::UnregisterClassObject(CLSID_Counter); }
};

TEST_F(ComObjects, CreatesThroughTheRegistryAndDeletesOnLastRelease) {
  ComPtr<ICounter> counter;
  ASSERT_EQ(CoCreateInstance(CLSID_Counter, nullptr, CLSCTX_INPROC_SERVER, IID_ICounter, counter.ReceiveVoid()),
            S_OK);
  EXPECT_EQ(counter->Next(), 1);
  ComPtr<IUnknown> identity = counter.As<IUnknown>(IID_IUnknown);
  ComPtr<IUnknown> again = counter.As<IUnknown>(IID_IUnknown);
  EXPECT_EQ(identity.Get(), again.Get()) << "one identity for IUnknown";
  EXPECT_FALSE(counter.As<IClassFactory>(IID_IClassFactory));
  counter.Reset();
  identity.Reset();
  EXPECT_FALSE(g_destroyed);
  again.Reset();
  EXPECT_TRUE(g_destroyed);
}

TEST_F(ComObjects, RefusesUnknownClassesAndAggregationWithoutIUnknown) {
  constexpr CLSID unknownClass{1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(CoCreateInstance(unknownClass, nullptr, CLSCTX_ALL, IID_IUnknown, &object), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(object, nullptr);
  ComPtr<IUnknown> outer;
  ASSERT_EQ(CoCreateInstance(CLSID_Counter, nullptr, CLSCTX_ALL, IID_IUnknown, outer.ReceiveVoid()), S_OK);
  object = reinterpret_cast<void*>(1);
  EXPECT_EQ(CoCreateInstance(CLSID_Counter, outer.Get(), CLSCTX_ALL, IID_ICounter, &object), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(object, nullptr);
}

// An outer object that exposes ICounter of an aggregated inner object.
class Outer final : public CUnknown {
 public:
  Outer() : CUnknown("outer", nullptr) {
    CoCreateInstance(CLSID_Counter, GetOwner(), CLSCTX_ALL, IID_IUnknown, reinterpret_cast<void**>(&inner_));
  }
  ~Outer() override { inner_->Release(); }
  HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override {
    if (iid == IID_ICounter) return inner_->QueryInterface(iid, object);
    return CUnknown::NonDelegatingQueryInterface(iid, object);
  }
  IUnknown* inner_ = nullptr;
};

TEST_F(ComObjects, AggregatedObjectDelegatesIdentityAndCountToTheOuter) {
  auto* outer = new Outer();
  ComPtr<IUnknown> outerUnknown;
  ASSERT_EQ(outer->NonDelegatingQueryInterface(IID_IUnknown, outerUnknown.ReceiveVoid()), S_OK);
  ASSERT_NE(outer->inner_, nullptr);

  ComPtr<ICounter> counter = outerUnknown.As<ICounter>(IID_ICounter);
  ASSERT_TRUE(counter);
  EXPECT_EQ(counter->Next(), 1);
  // The inner object's IUnknown members delegate to the outer object.
  ComPtr<IUnknown> viaInner = counter.As<IUnknown>(IID_IUnknown);
  EXPECT_EQ(viaInner.Get(), outerUnknown.Get());

  outerUnknown.Reset();
  viaInner.Reset();
  EXPECT_FALSE(g_destroyed) << "the counter interface still holds the outer object";
  counter.Reset();
  EXPECT_TRUE(g_destroyed) << "the outer object released its inner object";
}

TEST(ModuleScope, CountsObjectsMadeWhileOpenUntilTheyAreGone) {
  tlx::com::ModuleObjects module;
  bool destroyed = false;
  Counter* counter;
  {
    tlx::com::ModuleScope scope(&module);
    counter = new Counter(nullptr, &destroyed);
  }
  Counter* outside = new Counter(nullptr, &destroyed);
  EXPECT_EQ(module.objects.load(), 1);
  EXPECT_FALSE(module.CanUnload());
  delete outside;
  delete counter;
  EXPECT_TRUE(module.CanUnload());
}

}  // namespace

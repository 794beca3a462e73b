// An owning interface pointer: releases what it holds when it goes.
#pragma once

#include <utility>

#include "com/unknown.h"

namespace tlx::com {

template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}
  // Takes a new reference.
  explicit ComPtr(T* p) : p_(p) {
    if (p_ != nullptr) p_->AddRef();
  }
  ComPtr(const ComPtr& other) : ComPtr(other.p_) {}
  ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  ComPtr& operator=(ComPtr other) noexcept {
    std::swap(p_, other.p_);
    return *this;
  }
  ~ComPtr() { Reset(); }

  // Adopts a reference the caller already owns.
  static ComPtr Attach(T* p) {
    ComPtr result;
    result.p_ = p;
    return result;
  }
  T* Detach() { return std::exchange(p_, nullptr); }
  void Reset() {
    if (T* p = std::exchange(p_, nullptr)) p->Release();
  }
  // For out-parameters: releases what is held and hands out the slot.
  T** Receive() {
    Reset();
    return &p_;
  }
  void** ReceiveVoid() { return reinterpret_cast<void**>(Receive()); }

  T* Get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  friend bool operator==(const ComPtr& a, const ComPtr& b) { return a.p_ == b.p_; }

  // Queries another interface of the same object; empty when it has none.
  template <typename U>
  ComPtr<U> As(REFIID iid) const {
    ComPtr<U> result;
    if (p_ != nullptr) p_->QueryInterface(iid, result.ReceiveVoid());
    return result;
  }

 private:
  T* p_ = nullptr;
};

}  // namespace tlx::com

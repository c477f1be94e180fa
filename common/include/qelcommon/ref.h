// A counted reference that its holder releases exactly once.
#pragma once

#include <utility>

namespace qel {

template <class T>
class Ref {
 public:
  Ref() = default;
  // Takes an extra reference on p.
  static Ref Share(T* p) {
    if (p) p->AddRef();
    return Ref(p);
  }
  // Adopts a reference the caller already owns.
  static Ref Adopt(T* p) { return Ref(p); }
  Ref(const Ref& o) : p_(o.p_) {
    if (p_) p_->AddRef();
  }
  Ref& operator=(const Ref& o) {
    if (this != &o) *this = Share(o.p_);
    return *this;
  }
  Ref(Ref&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  Ref& operator=(Ref&& o) noexcept {
    // Take the new pointer first: o may live inside the object released here.
    if (this != &o)
      if (T* old = std::exchange(p_, std::exchange(o.p_, nullptr))) old->Release();
    return *this;
  }
  ~Ref() { reset(); }

  void reset() {
    if (T* p = std::exchange(p_, nullptr)) p->Release();
  }
  // Hands the reference to the caller.
  T* release() { return std::exchange(p_, nullptr); }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  explicit Ref(T* p) : p_(p) {}
  T* p_ = nullptr;
};

}  // namespace qel

// One owner for every kind of system handle: closes what it holds, once.
// Traits give the empty value, what counts as held, and how to close.
#pragma once

namespace ce {

template <class Traits>
class Unique {
 public:
  using Value = typename Traits::Value;

  Unique() = default;
  explicit Unique(Value v) : v_(v) {}
  Unique(const Unique&) = delete;
  Unique& operator=(const Unique&) = delete;
  Unique(Unique&& o) noexcept : v_(o.release()) {}
  Unique& operator=(Unique&& o) noexcept {
    if (this != &o) reset(o.release());
    return *this;
  }
  ~Unique() { reset(); }

  Value get() const { return v_; }
  bool valid() const { return Traits::Held(v_); }
  explicit operator bool() const { return valid(); }
  // For functions that return a handle through an out-parameter.
  Value* put() {
    reset();
    return &v_;
  }
  Value release() {
    Value v = v_;
    v_ = Traits::Empty();
    return v;
  }
  void reset(Value v = Traits::Empty()) {
    if (Traits::Held(v_)) Traits::Close(v_);
    v_ = v;
  }

 private:
  Value v_ = Traits::Empty();
};

}  // namespace ce

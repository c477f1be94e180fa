// The listener lists of the event services: listeners carry their own links
// (next, previous); the list keeps head, tail and count and owns nothing.
#pragma once

#include <cstdint>

namespace qel {

template <class T>
class IntrusiveList {
 public:
  void Append(T* item) {
    item->next = nullptr;
    item->previous = tail_;
    (tail_ ? tail_->next : head_) = item;
    tail_ = item;
    ++count_;
  }
  // False when the item is not in this list.
  bool Unlink(T* item) {
    if (!Contains(item)) return false;
    (item->previous ? item->previous->next : head_) = item->next;
    (item->next ? item->next->previous : tail_) = item->previous;
    item->next = item->previous = nullptr;
    --count_;
    return true;
  }
  // Unlinks every item, leaving each as if it had never been appended.
  void Clear() {
    for (T* p = head_; p;) {
      T* following = p->next;
      p->next = p->previous = nullptr;
      p = following;
    }
    head_ = tail_ = nullptr;
    count_ = 0;
  }
  bool Contains(const T* item) const {
    for (T* p = head_; p; p = p->next)
      if (p == item) return true;
    return false;
  }
  template <class F>
  void ForEach(F&& f) const {
    for (T* p = head_; p;) {
      T* following = p->next;
      f(p);
      p = following;
    }
  }
  uint32_t count() const { return count_; }

 private:
  T* head_ = nullptr;
  T* tail_ = nullptr;
  uint32_t count_ = 0;
};

}  // namespace qel

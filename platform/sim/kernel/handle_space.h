// Handles that are not kernel handles: sockets, wave-out devices and windows
// each have a table of their own, as on the device, and CloseHandle knows none
// of them.
//
// A value must never name an object in another table, so a stale or mixed-up
// value fails instead of reaching the wrong object. The values say which table
// they belong to:
//   bits 0-1   01: odd, so never a kernel handle (a multiple of 4) nor an open
//              registry key (2 modulo 4), however far those tables count;
//   bits 2-23  the table's own number, 1 up, wrapping past a value still open;
//   bits 24-30 the space, so two tables never share a value.
// Values stay below 2^31: positive as 32-bit numbers, since the device's handles
// are 32 bits and callers keep them in DWORDs; none is 0, 1, 0xFFFF or ~0, which
// mean "none" or "all" to sockets and windows.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <mutex>
#include <type_traits>
#include <unordered_map>
#include <vector>

namespace ce::sim {

// One per table, never reused for another.
enum class HandleSpaceId : uint32_t {
  kSocket = 1,
  kWaveOut = 2,
  kWindow = 3,
};

// Objects of type T named by values of type H (an integer such as SOCKET, or a
// pointer such as HWND).
template <class T, class H = uintptr_t>
class HandleSpace {
 public:
  // The most values a table holds at once; it hands out each number before it wraps.
  static constexpr uint32_t kNumbers = (1u << 22) - 1;

  // numbers: how many values may be open at once (a socket table may hold
  // fewer), from 1 to kNumbers.
  explicit HandleSpace(HandleSpaceId id, uint32_t numbers = kNumbers)
      : tag_((uint32_t(id) << 24) | 1u), numbers_(std::clamp(numbers, 1u, kNumbers)) {}
  HandleSpace(const HandleSpace&) = delete;
  HandleSpace& operator=(const HandleSpace&) = delete;

  // A new value naming object, or H{} (0) when every number is in use.
  H Add(std::shared_ptr<T> object) {
    std::lock_guard lock(mu_);
    if (objects_.size() >= numbers_) return H{};
    uint32_t value;
    do {
      next_ = next_ % numbers_ + 1;  // 1 .. numbers_
      value = tag_ | (next_ << 2);
    } while (objects_.count(value));
    objects_.emplace(value, std::move(object));
    return FromValue(value);
  }

  // Null for a value this table does not hold.
  std::shared_ptr<T> Lookup(H handle) {
    std::lock_guard lock(mu_);
    const auto it = objects_.find(ToValue(handle));
    return it == objects_.end() ? nullptr : it->second;
  }

  // Forgets the value; the object goes when its last user lets go, outside the
  // table's lock. False for a value this table does not hold.
  bool Close(H handle) {
    std::shared_ptr<T> doomed;
    std::lock_guard lock(mu_);
    const auto it = objects_.find(ToValue(handle));
    if (it == objects_.end()) return false;
    doomed = std::move(it->second);
    objects_.erase(it);
    return true;
  }

  // Forgets every value; the objects go when their last users let go.
  std::vector<std::shared_ptr<T>> CloseAll() {
    std::lock_guard lock(mu_);
    std::vector<std::shared_ptr<T>> all;
    all.reserve(objects_.size());
    for (auto& [value, object] : objects_) all.push_back(std::move(object));
    objects_.clear();
    return all;
  }

  size_t size() {
    std::lock_guard lock(mu_);
    return objects_.size();
  }

  // Every object open now.
  std::vector<std::shared_ptr<T>> All() {
    std::lock_guard lock(mu_);
    std::vector<std::shared_ptr<T>> all;
    all.reserve(objects_.size());
    for (const auto& [value, object] : objects_) all.push_back(object);
    return all;
  }

 private:
  static H FromValue(uint32_t value) {
    if constexpr (std::is_pointer_v<H>)
      return reinterpret_cast<H>(uintptr_t{value});
    else
      return H(value);
  }
  static uintptr_t ToValue(H handle) {
    if constexpr (std::is_pointer_v<H>)
      return reinterpret_cast<uintptr_t>(handle);
    else
      return uintptr_t(handle);
  }

  const uint32_t tag_;
  const uint32_t numbers_;
  std::mutex mu_;
  std::unordered_map<uintptr_t, std::shared_ptr<T>> objects_;
  uint32_t next_ = 0;
};

}  // namespace ce::sim

// The kernel's namespace of named objects. Events, mutexes and semaphores
// share it, as on the device: a name held by one kind cannot be opened as
// another. Entries are weak, so a name is free again once its last handle closes.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "handles.h"

namespace ce::sim {

class NamedObjects {
 public:
  enum class Outcome { kCreated, kOpened, kOtherKind, kMissing, kFailed, kNoTerminal };

  // The object named name (compared with case): the existing one
  // when it is a T (null, kOtherKind, when it is not), else the one make()
  // returns, which may be null (kMissing).
  template <class T, class Make>
  std::shared_ptr<T> Open(std::u16string_view name, Make&& make, Outcome* outcome) {
    std::lock_guard lock(mu_);
    std::weak_ptr<KernelObject>& slot = byName_[Key(name)];
    if (auto held = slot.lock()) {
      auto typed = std::dynamic_pointer_cast<T>(held);
      *outcome = typed ? Outcome::kOpened : Outcome::kOtherKind;
      return typed;
    }
    std::shared_ptr<T> fresh = make();
    if (!fresh) {
      byName_.erase(Key(name));
      *outcome = Outcome::kMissing;
      return nullptr;
    }
    slot = fresh;
    *outcome = Outcome::kCreated;
    // Names whose objects are gone are dropped now and then, so the table
    // does not grow with every name a process ever used.
    if (++created_ % kSweepEvery == 0)
      std::erase_if(byName_, [](const auto& e) { return e.second.expired(); });
    return fresh;
  }

 private:
  static std::u16string Key(std::u16string_view name);

  static constexpr size_t kSweepEvery = 64;

  std::mutex mu_;
  std::map<std::u16string, std::weak_ptr<KernelObject>> byName_;  // by name
  size_t created_ = 0;
};

// Sets the named event of this process, when one of that name is open.
bool SetNamedEvent(std::u16string_view name);

}  // namespace ce::sim

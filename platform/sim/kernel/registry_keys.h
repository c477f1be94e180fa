// The process's open registry keys.
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>

#include "ce/registry.h"
#include "registry_store.h"

namespace ce::sim {

class Terminal;

// An open key stays bound to the terminal it was opened on, as an open file
// stays bound to its file, even if the process later chooses another terminal.
struct OpenKey {
  std::shared_ptr<sim::Terminal> terminal;
  RegistryStore::KeyId id = 0;
};

// The process's open keys. Their values are 2 modulo 4, so that none equals a
// kernel handle (multiples of 4) or, being skipped, a predefined root.
class RegistryKeyTable {
 public:
  HKEY Add(OpenKey key) {
    std::lock_guard lock(mu_);
    uintptr_t value = next_;
    if (value >= 0x80000000 && value <= 0x80000003) value += 4;  // skip the predefined roots
    next_ = value + 4;
    keys_.emplace(value, std::move(key));
    return reinterpret_cast<HKEY>(value);
  }
  std::optional<OpenKey> Find(HKEY key) {
    std::lock_guard lock(mu_);
    auto it = keys_.find(reinterpret_cast<uintptr_t>(key));
    if (it == keys_.end()) return std::nullopt;
    return it->second;
  }
  bool Remove(HKEY key) {
    std::optional<OpenKey> doomed;  // may hold the last reference to a terminal: release unlocked
    std::lock_guard lock(mu_);
    auto it = keys_.find(reinterpret_cast<uintptr_t>(key));
    if (it == keys_.end()) return false;
    doomed = std::move(it->second);
    keys_.erase(it);
    return true;
  }

 private:
  std::mutex mu_;
  std::unordered_map<uintptr_t, OpenKey> keys_;
  uintptr_t next_ = 0x10002;
};

}  // namespace ce::sim

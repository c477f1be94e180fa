#include "handles.h"

#include "api.h"
#include "ce/error.h"
#include "ce/handle.h"
#include "kernel.h"
#include "last_error.h"

namespace ce::sim {

HANDLE HandleTable::Add(std::shared_ptr<KernelObject> object) {
  std::lock_guard lock(mu_);
  const uintptr_t h = next_;
  next_ += 4;
  objects_.emplace(h, std::move(object));
  return reinterpret_cast<HANDLE>(h);
}

std::shared_ptr<KernelObject> HandleTable::Lookup(HANDLE handle) {
  std::lock_guard lock(mu_);
  auto it = objects_.find(reinterpret_cast<uintptr_t>(handle));
  return it == objects_.end() ? nullptr : it->second;
}

bool HandleTable::Remove(HANDLE handle) {
  std::shared_ptr<KernelObject> doomed;  // destroyed outside the lock
  std::lock_guard lock(mu_);
  auto it = objects_.find(reinterpret_cast<uintptr_t>(handle));
  if (it == objects_.end()) return false;
  doomed = std::move(it->second);
  objects_.erase(it);
  return true;
}

HANDLE AddHandle(std::shared_ptr<KernelObject> object) {
  return Kernel::Get().handles.Add(std::move(object));
}
std::shared_ptr<KernelObject> LookupHandle(HANDLE handle) { return Kernel::Get().handles.Lookup(handle); }

bool RemoveHandle(HANDLE handle) {
  if (Kernel::Get().handles.Remove(handle)) return true;
  SetLastError(ERROR_INVALID_HANDLE);
  return false;
}

}  // namespace ce::sim

namespace ce::sim::api {

BOOL CloseHandle(HANDLE handle) { return RemoveHandle(handle) ? TRUE : FALSE; }

}  // namespace ce::sim::api

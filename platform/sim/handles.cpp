#include "handles.h"

#include <mutex>
#include <unordered_map>

#include "ce/error.h"
#include "ce/handle.h"

namespace ce::sim {
namespace {

struct Table {
  std::mutex mu;
  std::unordered_map<uintptr_t, std::shared_ptr<KernelObject>> objects;
  // Handles are multiples of 4 as on the device, never reused soon, never null or -1.
  uintptr_t next = 0x1000;
};

Table& table() {
  static Table* t = new Table;  // outlives static destructors of callers
  return *t;
}

}  // namespace

HANDLE AddHandle(std::shared_ptr<KernelObject> object) {
  Table& t = table();
  std::lock_guard lock(t.mu);
  const uintptr_t h = t.next;
  t.next += 4;
  t.objects.emplace(h, std::move(object));
  return reinterpret_cast<HANDLE>(h);
}

std::shared_ptr<KernelObject> LookupHandle(HANDLE handle) {
  Table& t = table();
  std::lock_guard lock(t.mu);
  auto it = t.objects.find(reinterpret_cast<uintptr_t>(handle));
  return it == t.objects.end() ? nullptr : it->second;
}

bool RemoveHandle(HANDLE handle) {
  std::shared_ptr<KernelObject> doomed;  // destroyed outside the lock
  Table& t = table();
  std::lock_guard lock(t.mu);
  auto it = t.objects.find(reinterpret_cast<uintptr_t>(handle));
  if (it == t.objects.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  doomed = std::move(it->second);
  t.objects.erase(it);
  return true;
}

}  // namespace ce::sim

namespace ce {

BOOL CloseHandle(HANDLE handle) { return sim::RemoveHandle(handle) ? TRUE : FALSE; }

}  // namespace ce

// Kernel objects and the process's handle table. Every handle names a kernel
// object; the object lives while a handle or a user holds it.
#pragma once

#include <memory>
#include <mutex>
#include <unordered_map>

#include "ce/types.h"

namespace ce::sim {

class KernelObject {
 public:
  virtual ~KernelObject() = default;
  // A descriptor that polls readable while the object is signalled, or -1 when
  // the object cannot be waited on.
  virtual int WaitFd() const { return -1; }
  // Called by a wait that saw WaitFd readable: true when the wait is satisfied
  // (an auto-reset event consumes its signal here; a rival waiter may have won).
  virtual bool TryAcquire() { return true; }
  // True for an object the calling thread already holds (a mutex it owns): a
  // wait takes it again without looking at its descriptor.
  virtual bool OwnedByCaller() const { return false; }
  // Asked once a wait has acquired the object: true when it came abandoned.
  virtual bool TakeAbandoned() { return false; }
};

class HandleTable {
 public:
  HANDLE Add(std::shared_ptr<KernelObject> object);
  std::shared_ptr<KernelObject> Lookup(HANDLE handle);
  // False for a handle not in the table.
  bool Remove(HANDLE handle);

 private:
  std::mutex mu_;
  std::unordered_map<uintptr_t, std::shared_ptr<KernelObject>> objects_;
  // Handles are multiples of 4 as on the device, never reused soon, never null or -1.
  uintptr_t next_ = 0x1000;
};

// The kernel's table, for the API functions.
HANDLE AddHandle(std::shared_ptr<KernelObject> object);
std::shared_ptr<KernelObject> LookupHandle(HANDLE handle);
template <class T>
std::shared_ptr<T> LookupHandleAs(HANDLE handle) {
  return std::dynamic_pointer_cast<T>(LookupHandle(handle));
}
// False (and ERROR_INVALID_HANDLE) for a handle not in the table.
bool RemoveHandle(HANDLE handle);

}  // namespace ce::sim

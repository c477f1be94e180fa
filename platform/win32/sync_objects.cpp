// The device's rules for events, mutexes and semaphores where a desktop's
// differ: a name is at most MAX_PATH characters, a semaphore is released by at
// least one, and the access an opener asks for is ignored (the device has no
// access rights: any handle may signal its object).
#include <string_view>

#include "ce/error.h"
#include "ce/sync.h"

namespace ce {
namespace {

bool NameTooLong(LPCWSTR name) {
  if (name == nullptr || std::u16string_view(name).size() <= MAX_PATH) return false;
  ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
  return true;
}

const wchar_t* System(LPCWSTR name) { return reinterpret_cast<const wchar_t*>(name); }

}  // namespace

HANDLE CreateEventW(void* security, BOOL manualReset, BOOL initialState, LPCWSTR name) {
  if (NameTooLong(name)) return nullptr;
  return ::CreateEventW(static_cast<LPSECURITY_ATTRIBUTES>(security), manualReset, initialState,
                        System(name));
}

HANDLE OpenEventW(DWORD /*access*/, BOOL inherit, LPCWSTR name) {
  if (NameTooLong(name)) return nullptr;
  return ::OpenEventW(EVENT_ALL_ACCESS, inherit, System(name));
}

HANDLE CreateMutexW(void* security, BOOL initialOwner, LPCWSTR name) {
  if (NameTooLong(name)) return nullptr;
  return ::CreateMutexW(static_cast<LPSECURITY_ATTRIBUTES>(security), initialOwner, System(name));
}

HANDLE CreateSemaphoreW(void* security, LONG initialCount, LONG maximumCount, LPCWSTR name) {
  if (NameTooLong(name)) return nullptr;
  return ::CreateSemaphoreW(static_cast<LPSECURITY_ATTRIBUTES>(security), initialCount, maximumCount,
                            System(name));
}

HANDLE OpenSemaphoreW(DWORD /*access*/, BOOL inherit, LPCWSTR name) {
  if (NameTooLong(name)) return nullptr;
  return ::OpenSemaphoreW(SEMAPHORE_ALL_ACCESS, inherit, System(name));
}

BOOL ReleaseSemaphore(HANDLE semaphore, LONG releaseCount, LONG* previousCount) {
  if (releaseCount <= 0) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  ::LONG previous = 0;
  const BOOL released = ::ReleaseSemaphore(semaphore, releaseCount, &previous);
  if (released && previousCount) *previousCount = previous;
  return released;
}

}  // namespace ce

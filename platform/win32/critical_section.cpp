// The ce record has the device's layout, smaller than desktop Windows' own
// CRITICAL_SECTION on every processor, so it holds the system's section in
// hCrit, allocated by Initialize and freed by Delete. Both are recursive.
#include <cstdint>

#include "ce/thread.h"

namespace ce {
namespace {

::CRITICAL_SECTION* System(CRITICAL_SECTION* section) {
  return static_cast<::CRITICAL_SECTION*>(section->hCrit);
}

}  // namespace

void InitializeCriticalSection(CRITICAL_SECTION* section) {
  *section = {};
  auto* system = new ::CRITICAL_SECTION;
  ::InitializeCriticalSection(system);
  section->hCrit = system;
}

void DeleteCriticalSection(CRITICAL_SECTION* section) {
  ::CRITICAL_SECTION* system = System(section);
  if (system == nullptr) return;
  ::DeleteCriticalSection(system);
  delete system;
  *section = {};
}

void EnterCriticalSection(CRITICAL_SECTION* section) {
  ::EnterCriticalSection(System(section));
  // The owner and depth, as the device's record shows them.
  section->OwnerThread = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(::GetCurrentThreadId()));
  ++section->LockCount;
}

void LeaveCriticalSection(CRITICAL_SECTION* section) {
  if (--section->LockCount == 0) section->OwnerThread = nullptr;
  ::LeaveCriticalSection(System(section));
}

}  // namespace ce

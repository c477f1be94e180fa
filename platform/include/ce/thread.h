// Threads and critical sections. A thread's handle is waitable: it is
// signalled once the thread has ended, and stays so.
#pragma once

#include "ce/handle.h"
#include "ce/types.h"

#ifndef STILL_ACTIVE
#define STILL_ACTIVE 0x00000103
#endif
#ifndef CREATE_SUSPENDED
#define CREATE_SUSPENDED 0x00000004
#endif

namespace ce {

using LPTHREAD_START_ROUTINE = DWORD (*)(void* parameter);

// The device's layout; hCrit holds the lock the system made for it.
struct CRITICAL_SECTION {
  unsigned int LockCount;
  HANDLE OwnerThread;
  HANDLE hCrit;
  DWORD needtrap;
  DWORD dwContentions;
};

// The thread starts at once (CREATE_SUSPENDED is refused with ERROR_INVALID_PARAMETER);
// its id is stored before it runs.
HANDLE CreateThread(void* security, DWORD stackSize, LPTHREAD_START_ROUTINE start, void* parameter,
                    DWORD flags, DWORD* threadId);
DWORD GetCurrentThreadId();
// STILL_ACTIVE while the thread runs.
BOOL GetExitCodeThread(HANDLE thread, DWORD* exitCode);
// Ends the thread where it waits; its handle is signalled and its exit code set.
BOOL TerminateThread(HANDLE thread, DWORD exitCode);

// Recursive, as on the device: the owner may enter again and leaves as often.
void InitializeCriticalSection(CRITICAL_SECTION* section);
void DeleteCriticalSection(CRITICAL_SECTION* section);
void EnterCriticalSection(CRITICAL_SECTION* section);
void LeaveCriticalSection(CRITICAL_SECTION* section);

}  // namespace ce

// Events, mutexes, semaphores and waits. Named objects are terminal-wide: every
// process on the terminal that opens a name gets the same object, and besides
// those, the terminal's kernel state lists events that other programs on the
// device hold open. Events, mutexes and semaphores share one namespace.
#pragma once

#include "ce/handle.h"
#include "ce/types.h"

#ifndef WAIT_OBJECT_0
#define WAIT_OBJECT_0 0
#endif
#ifndef WAIT_ABANDONED
#define WAIT_ABANDONED 0x80
#endif
#ifndef WAIT_ABANDONED_0
#define WAIT_ABANDONED_0 0x80
#endif
#ifndef WAIT_FAILED
#define WAIT_FAILED 0xFFFFFFFF
#endif
#ifndef MAXIMUM_WAIT_OBJECTS
#define MAXIMUM_WAIT_OBJECTS 64
#endif
#ifndef SYNCHRONIZE
#define SYNCHRONIZE 0x00100000
#endif
#ifndef EVENT_ALL_ACCESS
#define EVENT_ALL_ACCESS 0x001F0003
#endif

#ifndef ERROR_NOT_OWNER
#define ERROR_NOT_OWNER 288
#endif
#ifndef ERROR_TOO_MANY_POSTS
#define ERROR_TOO_MANY_POSTS 298
#endif

namespace ce {

// A named event that already exists is opened and ERROR_ALREADY_EXISTS is set.
HANDLE CreateEventW(void* security, BOOL manualReset, BOOL initialState, LPCWSTR name);
// Null, with ERROR_FILE_NOT_FOUND, when no event of that name exists.
HANDLE OpenEventW(DWORD access, BOOL inherit, LPCWSTR name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);

// A named mutex that already exists is opened (initialOwner is then ignored)
// and ERROR_ALREADY_EXISTS is set. A waiter that gets a mutex whose owner's
// process ended holding it sees WAIT_ABANDONED_0 + its index, and owns it.
HANDLE CreateMutexW(void* security, BOOL initialOwner, LPCWSTR name);
// FALSE, with ERROR_NOT_OWNER, when the calling thread does not own it.
BOOL ReleaseMutex(HANDLE mutex);
// maximum > 0 and 0 <= initial <= maximum, or ERROR_INVALID_PARAMETER.
HANDLE CreateSemaphoreW(void* security, LONG initialCount, LONG maximumCount, LPCWSTR name);
// Null, with ERROR_FILE_NOT_FOUND, when no semaphore of that name exists.
HANDLE OpenSemaphoreW(DWORD access, BOOL inherit, LPCWSTR name);
// FALSE, with ERROR_TOO_MANY_POSTS, when the count would pass the maximum.
BOOL ReleaseSemaphore(HANDLE semaphore, LONG releaseCount, LONG* previousCount);

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
// The lowest signalled index wins; an auto-reset event is consumed by exactly one
// waiter. waitAll must be FALSE, as on the device.
DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds);

void Sleep(DWORD milliseconds);

}  // namespace ce

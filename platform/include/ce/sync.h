// Events and waits. Named events are visible terminal-wide: besides those made in
// this process, the terminal's kernel state lists events that other programs on
// the device hold open.
#pragma once

#include "ce/handle.h"
#include "ce/types.h"

#ifndef WAIT_OBJECT_0
#define WAIT_OBJECT_0 0
#endif
#ifndef WAIT_ABANDONED
#define WAIT_ABANDONED 0x80
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

namespace ce {

// A named event that already exists is opened and ERROR_ALREADY_EXISTS is set.
HANDLE CreateEventW(void* security, BOOL manualReset, BOOL initialState, LPCWSTR name);
// Null, with ERROR_FILE_NOT_FOUND, when no event of that name exists.
HANDLE OpenEventW(DWORD access, BOOL inherit, LPCWSTR name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
// The lowest signalled index wins; an auto-reset event is consumed by exactly one
// waiter. waitAll must be FALSE, as on the device.
DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds);

void Sleep(DWORD milliseconds);

}  // namespace ce

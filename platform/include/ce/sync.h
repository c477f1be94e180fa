// Events and waits. Named events are visible terminal-wide: besides those made in
// this process, the terminal's kernel state lists events that other programs on
// the device hold open.
#pragma once

#include "ce/handle.h"
#include "ce/types.h"

namespace ce {

inline constexpr DWORD WAIT_OBJECT_0 = 0;
inline constexpr DWORD WAIT_ABANDONED = 0x80;
inline constexpr DWORD WAIT_FAILED = 0xFFFFFFFFu;
inline constexpr DWORD MAXIMUM_WAIT_OBJECTS = 64;

inline constexpr DWORD EVENT_ALL_ACCESS = 0x1F0003;
inline constexpr DWORD SYNCHRONIZE = 0x100000;

// A named event that already exists is opened and ERROR_ALREADY_EXISTS is set.
HANDLE CreateEventW(void* security, BOOL manualReset, BOOL initialState, LPCWSTR name);
// Null, with ERROR_FILE_NOT_FOUND, when no event of that name exists.
HANDLE OpenEventW(DWORD access, BOOL inherit, LPCWSTR name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
// The lowest signalled index wins; an auto-reset event is consumed by exactly one
// waiter. waitAll must be FALSE, as on the device.
DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll,
                             DWORD milliseconds);

void Sleep(DWORD milliseconds);

}  // namespace ce

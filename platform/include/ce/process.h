// Processes: programs of the terminal started by path, opened by id, ended by
// force, waitable with WaitForSingleObject (signalled once the program has
// ended), with exit codes.
#pragma once

#include "ce/handle.h"
#include "ce/types.h"

#ifndef CREATE_NEW_CONSOLE
#define CREATE_NEW_CONSOLE 0x00000010
#endif
#ifndef STILL_ACTIVE
#define STILL_ACTIVE 259
#endif
#ifndef SYNCHRONIZE
#define SYNCHRONIZE 0x00100000L
#endif
#ifndef PROCESS_TERMINATE
#define PROCESS_TERMINATE 0x0001
#endif

namespace ce {

// 68 bytes on the 32-bit device.
struct STARTUPINFOW {
  DWORD cb;
  LPWSTR lpReserved;
  LPWSTR lpDesktop;
  LPWSTR lpTitle;
  DWORD dwX;
  DWORD dwY;
  DWORD dwXSize;
  DWORD dwYSize;
  DWORD dwXCountChars;
  DWORD dwYCountChars;
  DWORD dwFillAttribute;
  DWORD dwFlags;
  WORD wShowWindow;
  WORD cbReserved2;
  BYTE* lpReserved2;
  HANDLE hStdInput;
  HANDLE hStdOutput;
  HANDLE hStdError;
};
static_assert(sizeof(void*) != 4 || sizeof(STARTUPINFOW) == 68);

struct PROCESS_INFORMATION {
  HANDLE hProcess;
  HANDLE hThread;
  DWORD dwProcessId;
  DWORD dwThreadId;
};

// Starts the program at imagePath with commandLine as its arguments. The
// process handle and the thread handle are both signalled when it ends.
BOOL CreateProcessW(LPCWSTR imagePath, LPWSTR commandLine, void* processAttributes, void* threadAttributes,
                    BOOL inheritHandles, DWORD creationFlags, void* environment, LPCWSTR currentDirectory,
                    STARTUPINFOW* startupInfo, PROCESS_INFORMATION* processInformation);
// STILL_ACTIVE while the program runs.
BOOL GetExitCodeProcess(HANDLE process, DWORD* exitCode);
// A handle to any process of the terminal, running or ended a short while
// ago; NULL with ERROR_INVALID_PARAMETER for an id that names none, and with
// ERROR_ACCESS_DENIED for PROCESS_TERMINATE on a process the terminal did not
// start (another qelhost; the caller's own process may be ended).
HANDLE OpenProcess(DWORD desiredAccess, BOOL inheritHandle, DWORD processId);
// A pseudo handle that names the calling process.
HANDLE GetCurrentProcess();
// Ends a program of the terminal at once with exitCode (a process ending
// itself, by its pseudo handle or its own id, does not return). FALSE with ERROR_ACCESS_DENIED for a process
// that has ended already or that the terminal did not start (a host joined from outside, such as another
// qelhost).
BOOL TerminateProcess(HANDLE process, UINT exitCode);
// This process's id on its terminal, as its windows name it.
DWORD GetCurrentProcessId();

}  // namespace ce

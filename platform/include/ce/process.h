// Processes: programs of the terminal started by path, waitable with
// WaitForSingleObject (signalled once the program has ended), with exit codes.
#pragma once

#include "ce/handle.h"
#include "ce/types.h"

#ifndef CREATE_NEW_CONSOLE
#define CREATE_NEW_CONSOLE 0x00000010
#endif
#ifndef STILL_ACTIVE
#define STILL_ACTIVE 259
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
// This process's id on its terminal, as its windows name it.
DWORD GetCurrentProcessId();

}  // namespace ce

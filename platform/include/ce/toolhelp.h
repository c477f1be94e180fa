// "ToolHelp.dll": snapshots of the terminal's processes. The module reaches
// it through LoadLibraryW and GetProcAddressW; a terminal without it (and a
// desktop system, whose equivalents live elsewhere) is told apart so.
#pragma once

#include "ce/files.h"
#include "ce/types.h"

#ifndef TH32CS_SNAPPROCESS
#define TH32CS_SNAPPROCESS 0x00000002
#endif
#ifndef TH32CS_SNAPNOHEAPS
#define TH32CS_SNAPNOHEAPS 0x40000000
#endif

namespace ce {

// The device's process record, 564 bytes: every field a DWORD there.
struct TOOLHELP_PROCESSENTRY {
  DWORD dwSize;
  DWORD cntUsage;
  DWORD th32ProcessID;
  DWORD th32DefaultHeapID;
  DWORD th32ModuleID;
  DWORD cntThreads;
  DWORD th32ParentProcessID;
  LONG pcPriClassBase;
  DWORD dwFlags;
  WCHAR szExeFile[MAX_PATH];  // the executable's file name, without its folder
  DWORD th32MemoryBase;
  DWORD th32AccessKey;
};
static_assert(sizeof(TOOLHELP_PROCESSENTRY) == 564);

// INVALID_HANDLE_VALUE on failure. The walk fails with ERROR_NO_MORE_FILES
// past the last entry, and ERROR_BAD_LENGTH for a record whose dwSize is
// smaller than the record.
using PFN_CreateToolhelp32Snapshot = HANDLE (*)(DWORD flags, DWORD processId);
using PFN_CloseToolhelp32Snapshot = BOOL (*)(HANDLE snapshot);
using PFN_Process32First = BOOL (*)(HANDLE snapshot, TOOLHELP_PROCESSENTRY* entry);
using PFN_Process32Next = BOOL (*)(HANDLE snapshot, TOOLHELP_PROCESSENTRY* entry);

}  // namespace ce

// A library named as the device's system library, planted beside a program:
// its KernelIoControl claims success, so a backend that loads it shows it.
#include <windows.h>

extern "C" __declspec(dllexport) BOOL KernelIoControl(DWORD, void*, DWORD, void*, DWORD, DWORD* returned) {
  if (returned != nullptr) *returned = 0x51;
  return TRUE;
}

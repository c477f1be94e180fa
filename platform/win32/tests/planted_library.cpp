// The device-only calls must come from the system's own folder: a
// coredll.dll beside the program (planted_coredll.cpp, built into the same
// folder) is someone else's code and must never run. Exits 0 when the
// planted library is loadable by the default search yet the backend does
// not use it.
#include <cstdio>

#include "ce/device.h"
#include "ce/error.h"

int main() {
  // The plant is real: the default search finds it and it answers.
  HMODULE planted = ::LoadLibraryW(L"coredll.dll");
  if (planted == nullptr) {
    std::printf("FAIL: the planted coredll.dll does not load (error %lu)\n", ::GetLastError());
    return 1;
  }
  ::FreeLibrary(planted);

  ce::DWORD returned = 0;
  ce::SetLastError(0);
  const ce::BOOL ok = ce::KernelIoControl(0, nullptr, 0, nullptr, 0, &returned);
  const ce::DWORD error = ce::GetLastError();
  if (ok || returned == 0x51 || error != ERROR_CALL_NOT_IMPLEMENTED) {
    std::printf("FAIL: KernelIoControl answered %d, returned 0x%lx, error %lu: the planted library ran\n", ok,
                static_cast<unsigned long>(returned), static_cast<unsigned long>(error));
    return 1;
  }
  std::printf("ok: the planted library was passed over (error %lu)\n", static_cast<unsigned long>(error));
  return 0;
}

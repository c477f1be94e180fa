// The device's record has 32-bit fields on every processor; desktop Windows'
// GlobalMemoryStatus has pointer-sized ones, so the figures come from
// GlobalMemoryStatusEx and are capped at 4 GiB - 1, as a 32-bit system
// reports them.
#include <algorithm>

#include "ce/system.h"

namespace ce {
namespace {

DWORD Capped(DWORDLONG bytes) { return static_cast<DWORD>(std::min<DWORDLONG>(bytes, 0xFFFFFFFF)); }

}  // namespace

void GlobalMemoryStatus(MEMORYSTATUS* status) {
  MEMORYSTATUSEX system{};
  system.dwLength = sizeof(system);
  if (!::GlobalMemoryStatusEx(&system)) return;
  status->dwLength = sizeof(MEMORYSTATUS);
  status->dwMemoryLoad = system.dwMemoryLoad;
  status->dwTotalPhys = Capped(system.ullTotalPhys);
  status->dwAvailPhys = Capped(system.ullAvailPhys);
  status->dwTotalPageFile = Capped(system.ullTotalPageFile);
  status->dwAvailPageFile = Capped(system.ullAvailPageFile);
  status->dwTotalVirtual = Capped(system.ullTotalVirtual);
  status->dwAvailVirtual = Capped(system.ullAvailVirtual);
}

}  // namespace ce

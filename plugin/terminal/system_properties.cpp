// Memory, disk, up-time and remote-session properties.
#include "terminal/system_properties.h"

#include "ce/handle.h"
#include "ce/sync.h"
#include "ce/system.h"

namespace qel {

bool GetRemoteSession(IQelValue* value, IQelService*) {
  if (!value) return false;
  // A remote-control session announces itself by holding this event open.
  ce::UniqueHandle event(ce::OpenEventW(EVENT_ALL_ACCESS, FALSE, u"QEL4 BigBrother"));
  return value->SetBool(event.valid());
}

bool GetDiskFreeSpace(IQelValue* value, IQelService*) {
  if (!value) return false;
  ce::ULARGE_INTEGER available{};
  if (!ce::GetDiskFreeSpaceExW(nullptr, &available, nullptr, nullptr)) return false;
  return value->SetUInt64(available.u.LowPart, available.u.HighPart);
}

bool GetMemHeapSpace(IQelValue* value, IQelService*) {
  if (!value) return false;
  ce::MEMORYSTATUS status{};
  ce::GlobalMemoryStatus(&status);
  return value->SetUInt32(status.dwAvailPhys);
}

bool GetMemTotal(IQelValue* value, IQelService*) {
  if (!value) return false;
  ce::MEMORYSTATUS status{};
  ce::GlobalMemoryStatus(&status);
  return value->SetUInt32(status.dwTotalPhys);
}

bool GetDeviceUpTime(IQelValue* value, IQelService*) { return value && value->SetUInt32(ce::GetTickCount()); }

}  // namespace qel

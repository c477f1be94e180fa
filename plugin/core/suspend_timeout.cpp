// The window system keeps the idle time-out, unless the power manager has
// taken it over: then the window system refuses it (last error 4309) and the
// power manager's registry value is the one in force.
#include "core/suspend_timeout.h"

#include "ce/error.h"
#include "ce/handle.h"
#include "ce/registry.h"
#include "ce/sync.h"
#include "ce/system.h"
#include "core/registry_values.h"

namespace qel {
namespace {

constexpr ce::DWORD kPowerManagerOwnsTimeouts = 4309;
constexpr const char16_t* kPowerKey = u"System\\CurrentControlSet\\Control\\Power";
constexpr const char16_t* kTimeoutsKey = u"System\\CurrentControlSet\\Control\\Power\\Timeouts";
constexpr const char16_t* kBattSuspend = u"BattSuspendTimeout";
constexpr const char16_t* kReloadEvent = u"PowerManager/ReloadActivityTimeouts";

bool ReadDword(const char16_t* path, const char16_t* name, ce::DWORD* value) {
  const ce::RegKey key = OpenExistingKey(HKEY_LOCAL_MACHINE, path);
  return key && QueryDword(key.get(), name, value);
}

}  // namespace

uint32_t GetBatterySuspendTimeout() {
  ce::DWORD timeout = 0xFFFFFFFF;
  const bool read = ce::SystemParametersInfoW(SPI_GETBATTERYIDLETIMEOUT, 0, &timeout, 0) != FALSE;
  if (read && timeout == 0) {
    ce::DWORD disabled = 0, suspend = 0;
    if (ReadDword(kPowerKey, u"DisableGwesPowerOff", &disabled) && disabled != 0 &&
        ReadDword(kTimeoutsKey, kBattSuspend, &suspend))
      return suspend;
  }
  return timeout;
}

bool SetBatterySuspendTimeout(uint32_t timeout) {
  if (ce::SystemParametersInfoW(SPI_SETBATTERYIDLETIMEOUT, timeout, nullptr, 0)) return true;
  if (ce::GetLastError() != kPowerManagerOwnsTimeouts) return false;
  const ce::RegKey key = OpenExistingKey(HKEY_LOCAL_MACHINE, kTimeoutsKey);
  if (!key || !WriteDword(key.get(), kBattSuspend, timeout)) return false;
  // Only a power manager that made the event listens for it; one made here
  // would reach nobody.
  const ce::UniqueHandle reload(ce::CreateEventW(nullptr, FALSE, FALSE, kReloadEvent));
  if (!reload || ce::GetLastError() != ERROR_ALREADY_EXISTS) return false;
  ce::SetEvent(reload.get());
  return true;
}

}  // namespace qel

// The battery driver's figures. A terminal answers through its own calls; a
// desktop system has the main battery's figures only (GetSystemPowerStatus),
// so the backup battery reads as unknown and the extended record stops after
// the fields both records share, as a driver without those figures does.
#include <cstddef>
#include <cstring>

#include "ce/power.h"
#include "system_export.h"

namespace ce {
namespace {

constexpr BYTE kUnknownByte = 0xFF;  // BATTERY_FLAG_UNKNOWN, BATTERY_PERCENTAGE_UNKNOWN
constexpr DWORD kUnknownTime = 0xFFFFFFFF;

// The fields of SYSTEM_POWER_STATUS_EX from the desktop call; false, with its
// last error, when it fails.
bool DesktopStatus(SYSTEM_POWER_STATUS_EX& out) {
  SYSTEM_POWER_STATUS status{};
  if (!::GetSystemPowerStatus(&status)) return false;
  out = {};
  out.ACLineStatus = status.ACLineStatus;
  out.BatteryFlag = status.BatteryFlag;
  out.BatteryLifePercent = status.BatteryLifePercent;
  out.BatteryLifeTime = status.BatteryLifeTime;
  out.BatteryFullLifeTime = status.BatteryFullLifeTime;
  out.BackupBatteryFlag = kUnknownByte;
  out.BackupBatteryLifePercent = kUnknownByte;
  out.BackupBatteryLifeTime = kUnknownTime;
  out.BackupBatteryFullLifeTime = kUnknownTime;
  return true;
}

}  // namespace

BOOL GetSystemPowerStatusEx(SYSTEM_POWER_STATUS_EX* status, BOOL update) {
  using Fn = BOOL (*)(SYSTEM_POWER_STATUS_EX*, BOOL);
  static const auto fn = win32::Export<Fn>(win32::kCoreLibrary, "GetSystemPowerStatusEx");
  if (fn != nullptr) return fn(status, update);
  if (status == nullptr) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return DesktopStatus(*status) ? TRUE : FALSE;
}

DWORD GetSystemPowerStatusEx2(SYSTEM_POWER_STATUS_EX2* status, DWORD length, BOOL update) {
  using Fn = DWORD (*)(SYSTEM_POWER_STATUS_EX2*, DWORD, BOOL);
  static const auto fn = win32::Export<Fn>(win32::kCoreLibrary, "GetSystemPowerStatusEx2");
  if (fn != nullptr) return fn(status, length, update);
  // The shared fields are the leading ones, laid out alike in both records.
  constexpr DWORD shared = offsetof(SYSTEM_POWER_STATUS_EX2, BatteryVoltage);
  static_assert(shared == sizeof(SYSTEM_POWER_STATUS_EX));
  if (status == nullptr || length < shared) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  SYSTEM_POWER_STATUS_EX common{};
  if (!DesktopStatus(common)) return 0;
  *status = {};
  std::memcpy(status, &common, shared);
  return shared;
}

}  // namespace ce

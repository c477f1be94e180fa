// The battery driver. The kernel keeps the driver's last report; callers that
// do not ask for an update get that copy.
#include "ce/power.h"

#include <cstring>
#include <mutex>

#include "ce/error.h"
#include "hardware_fields.h"

namespace ce {
namespace {

struct DriverReport {
  SYSTEM_POWER_STATUS_EX2 status{};
  DWORD ex2Bytes = 0;  // how much of the extended record the driver fills
  bool ok = false;
};

DriverReport ReadDriver() {
  using sim::HardwareUInt;
  DriverReport r;
  if (!sim::Current()) return r;
  auto byte = [](const char* f) { return BYTE(HardwareUInt(std::string("power.") + f).value_or(0xFF)); };
  auto dword = [](const char* f) {
    return DWORD(HardwareUInt(std::string("power.") + f).value_or(0xFFFFFFFFu));
  };
  SYSTEM_POWER_STATUS_EX2& s = r.status;
  s.ACLineStatus = byte("ac_line_status");
  s.BatteryFlag = byte("battery_flag");
  s.BatteryLifePercent = byte("battery_life_percent");
  s.BatteryLifeTime = dword("battery_life_time");
  s.BatteryFullLifeTime = dword("battery_full_life_time");
  s.BackupBatteryFlag = byte("backup_battery_flag");
  s.BackupBatteryLifePercent = byte("backup_battery_life_percent");
  s.BackupBatteryLifeTime = dword("backup_battery_life_time");
  s.BackupBatteryFullLifeTime = dword("backup_battery_full_life_time");
  s.BatteryVoltage = dword("battery_voltage");
  s.BatteryCurrent = dword("battery_current");
  s.BatteryAverageCurrent = dword("battery_average_current");
  s.BatteryAverageInterval = dword("battery_average_interval");
  s.BatterymAHourConsumed = dword("battery_mah_consumed");
  s.BatteryTemperature = dword("battery_temperature");
  s.BackupBatteryVoltage = dword("backup_battery_voltage");
  s.BatteryChemistry = byte("battery_chemistry");
  r.ex2Bytes = DWORD(HardwareUInt("power.driver_ex2_bytes").value_or(sizeof(SYSTEM_POWER_STATUS_EX2)));
  r.ok = sim::HardwareFlag("power.driver_ok", true);
  return r;
}

// The kernel's copy, per process and terminal, filled on first use or on request.
DriverReport Report(bool update) {
  static std::mutex mu;
  static DriverReport cached;
  static std::weak_ptr<sim::Terminal> of;
  const auto current = sim::Current();
  std::lock_guard lock(mu);
  if (update || !current || of.lock() != current) {
    cached = ReadDriver();
    of = current;
  }
  return cached;
}

}  // namespace

BOOL GetSystemPowerStatusEx(SYSTEM_POWER_STATUS_EX* status, BOOL update) {
  if (!status) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const DriverReport r = Report(update != FALSE);
  if (!r.ok) {
    SetLastError(ERROR_NOT_READY);
    return FALSE;
  }
  std::memcpy(status, &r.status, sizeof *status);
  return TRUE;
}

DWORD GetSystemPowerStatusEx2(SYSTEM_POWER_STATUS_EX2* status, DWORD length, BOOL update) {
  if (!status) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const DriverReport r = Report(update != FALSE);
  if (!r.ok) {
    SetLastError(ERROR_NOT_READY);
    return 0;
  }
  const DWORD n = std::min<DWORD>({length, r.ex2Bytes, DWORD(sizeof r.status)});
  std::memcpy(status, &r.status, n);
  return n;
}

}  // namespace ce

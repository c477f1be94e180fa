// Power status as the battery driver reports it.
#pragma once

#include "ce/types.h"

namespace ce {

inline constexpr BYTE AC_LINE_OFFLINE = 0;
inline constexpr BYTE AC_LINE_ONLINE = 1;
inline constexpr BYTE AC_LINE_BACKUP_POWER = 2;
inline constexpr BYTE AC_LINE_UNKNOWN = 0xFF;
inline constexpr BYTE BATTERY_PERCENTAGE_UNKNOWN = 0xFF;
inline constexpr DWORD BATTERY_LIFE_UNKNOWN = 0xFFFFFFFFu;

struct SYSTEM_POWER_STATUS_EX {
  BYTE ACLineStatus;
  BYTE BatteryFlag;
  BYTE BatteryLifePercent;
  BYTE Reserved1;
  DWORD BatteryLifeTime;
  DWORD BatteryFullLifeTime;
  BYTE Reserved2;
  BYTE BackupBatteryFlag;
  BYTE BackupBatteryLifePercent;
  BYTE Reserved3;
  DWORD BackupBatteryLifeTime;
  DWORD BackupBatteryFullLifeTime;
};
static_assert(sizeof(SYSTEM_POWER_STATUS_EX) == 24);

struct SYSTEM_POWER_STATUS_EX2 {
  BYTE ACLineStatus;
  BYTE BatteryFlag;
  BYTE BatteryLifePercent;
  BYTE Reserved1;
  DWORD BatteryLifeTime;
  DWORD BatteryFullLifeTime;
  BYTE Reserved2;
  BYTE BackupBatteryFlag;
  BYTE BackupBatteryLifePercent;
  BYTE Reserved3;
  DWORD BackupBatteryLifeTime;
  DWORD BackupBatteryFullLifeTime;
  DWORD BatteryVoltage;
  DWORD BatteryCurrent;
  DWORD BatteryAverageCurrent;
  DWORD BatteryAverageInterval;
  DWORD BatterymAHourConsumed;
  DWORD BatteryTemperature;
  DWORD BackupBatteryVoltage;
  BYTE BatteryChemistry;
};
static_assert(sizeof(SYSTEM_POWER_STATUS_EX2) == 56);

// update: ask the driver for fresh figures instead of the kernel's last copy.
BOOL GetSystemPowerStatusEx(SYSTEM_POWER_STATUS_EX* status, BOOL update);
// Returns the number of bytes written (which a driver may keep below the record's size).
DWORD GetSystemPowerStatusEx2(SYSTEM_POWER_STATUS_EX2* status, DWORD length, BOOL update);

}  // namespace ce

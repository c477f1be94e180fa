// Power status as the battery driver reports it.
#pragma once

#include "ce/types.h"

#ifndef AC_LINE_OFFLINE
#define AC_LINE_OFFLINE 0x00
#endif
#ifndef AC_LINE_ONLINE
#define AC_LINE_ONLINE 0x01
#endif
#ifndef AC_LINE_BACKUP_POWER
#define AC_LINE_BACKUP_POWER 0x02
#endif
#ifndef AC_LINE_UNKNOWN
#define AC_LINE_UNKNOWN 0xFF
#endif
#ifndef BATTERY_PERCENTAGE_UNKNOWN
#define BATTERY_PERCENTAGE_UNKNOWN 0xFF
#endif
#ifndef BATTERY_LIFE_UNKNOWN
#define BATTERY_LIFE_UNKNOWN 0xFFFFFFFF
#endif

namespace ce {

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

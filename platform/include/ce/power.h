// Power status as the battery driver reports it.
#pragma once

#include "ce/types.h"
#include "ce/unique.h"

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

// Power notifications: the power manager writes a POWER_BROADCAST record into
// a message queue for each transition, resume or status change asked for.
#ifndef PBT_TRANSITION
#define PBT_TRANSITION 0x00000001
#endif
#ifndef PBT_RESUME
#define PBT_RESUME 0x00000002
#endif
#ifndef PBT_POWERSTATUSCHANGE
#define PBT_POWERSTATUSCHANGE 0x00000004
#endif
#ifndef PBT_POWERINFOCHANGE
#define PBT_POWERINFOCHANGE 0x00000008
#endif
#ifndef POWER_NOTIFY_ALL
#define POWER_NOTIFY_ALL 0xFFFFFFFF
#endif
#ifndef POWER_STATE_ON
#define POWER_STATE_ON 0x00010000
#endif
#ifndef POWER_STATE_OFF
#define POWER_STATE_OFF 0x00020000
#endif
#ifndef POWER_STATE_CRITICAL
#define POWER_STATE_CRITICAL 0x00040000
#endif
#ifndef POWER_STATE_BOOT
#define POWER_STATE_BOOT 0x00080000
#endif
#ifndef POWER_STATE_IDLE
#define POWER_STATE_IDLE 0x00100000
#endif
#ifndef POWER_STATE_SUSPEND
#define POWER_STATE_SUSPEND 0x00200000
#endif
#ifndef POWER_STATE_UNATTENDED
#define POWER_STATE_UNATTENDED 0x00400000
#endif
#ifndef POWER_STATE_RESET
#define POWER_STATE_RESET 0x00800000
#endif
#ifndef POWER_STATE_USERIDLE
#define POWER_STATE_USERIDLE 0x01000000
#endif
#ifndef POWER_STATE_PASSWORD
#define POWER_STATE_PASSWORD 0x10000000
#endif
#ifndef POWER_FORCE
#define POWER_FORCE 0x00001000
#endif

namespace ce {

struct POWER_BROADCAST {
  DWORD Message;
  DWORD Flags;
  DWORD Length;  // bytes of SystemPowerState
  WCHAR SystemPowerState[1];
};
static_assert(sizeof(POWER_BROADCAST) == 16);

// flags: PBT_ bits, or POWER_NOTIFY_ALL.
HANDLE RequestPowerNotifications(HANDLE msgQueue, DWORD flags);
BOOL StopPowerNotifications(HANDLE notifications);

// Asks the power manager for a system power state, by name or (name null) by
// POWER_STATE_* flags; options POWER_FORCE. ERROR_SUCCESS or an error code.
DWORD SetSystemPowerState(LPCWSTR state, DWORD flags, DWORD options);

// Owns a request for power notifications: closing it stops them. Close it
// before the queue they are written into.
struct PowerNotificationsTraits {
  using Value = HANDLE;
  static HANDLE Empty() { return nullptr; }
  static bool Held(HANDLE n) { return n != nullptr; }
  static void Close(HANDLE n) { ce::StopPowerNotifications(n); }
};
using UniquePowerNotifications = Unique<PowerNotificationsTraits>;

}  // namespace ce

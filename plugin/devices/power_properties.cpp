// The power-status properties. Fields the driver reports as unknown read as "?".
#include "devices/power_properties.h"

#include "ce/power.h"

namespace qel {
namespace {

constexpr char16_t kUnknown[] = u"?";

bool StoreByte(IQelValue* value, ce::BYTE field, ce::BYTE unknown) {
  return field == unknown ? value->SetStringZ(kUnknown) : value->SetUInt32(field);
}

bool BatteryLevel(IQelValue* value, bool refresh) {
  if (!value) return false;
  ce::SYSTEM_POWER_STATUS_EX2 status{};
  const ce::DWORD got = ce::GetSystemPowerStatusEx2(&status, sizeof status, refresh);
  if (got < sizeof status) return refresh ? value->SetUInt32(100) : false;
  return StoreByte(value, status.BatteryLifePercent, BATTERY_PERCENTAGE_UNKNOWN);
}

bool PowerSource(IQelValue* value, bool refresh) {
  if (!value) return false;
  ce::SYSTEM_POWER_STATUS_EX status{};
  if (ce::GetSystemPowerStatusEx(&status, refresh) != 1) return false;
  return StoreByte(value, status.ACLineStatus, AC_LINE_UNKNOWN);
}

}  // namespace

bool GetBatteryLevel(IQelValue* value, IQelService*) { return BatteryLevel(value, false); }
bool GetBatteryLevelRefreshed(IQelValue* value, IQelService*) { return BatteryLevel(value, true); }
bool GetPowerSource(IQelValue* value, IQelService*) { return PowerSource(value, false); }
bool GetPowerSourceRefreshed(IQelValue* value, IQelService*) { return PowerSource(value, true); }

bool GetBatteryLifetime(IQelValue* value, IQelService*) {
  if (!value) return false;
  ce::SYSTEM_POWER_STATUS_EX status{};
  if (ce::GetSystemPowerStatusEx(&status, TRUE) != 1) return false;
  if (status.BatteryLifeTime == BATTERY_LIFE_UNKNOWN) return value->SetStringZ(kUnknown);
  return value->SetUInt32(status.BatteryLifeTime);
}

}  // namespace qel

#include "devices/backlight_properties.h"

#include "core/module_slots.h"
#include "core/suspend_timeout.h"
#include "qel/backlight.h"
#include "qel/value.h"

namespace qel {
namespace {

IQelBacklightService* Held() { return SlotAs<IQelBacklightService>(Slot::Backlight); }

bool StoreTimeout(IQelValue* value, uint32_t (IQelBacklightService::*get)()) {
  IQelBacklightService* backlight = Held();
  if (!value || !backlight) return false;
  const uint32_t timeout = (backlight->*get)();
  return timeout != 0xFFFFFFFFu && value->SetUInt32(timeout);
}

bool TakeTimeout(IQelValue* value, bool (IQelBacklightService::*set)(uint32_t)) {
  IQelBacklightService* backlight = Held();
  uint32_t timeout = 0;
  return value && backlight && value->GetUInt32(&timeout) && (backlight->*set)(timeout);
}

}  // namespace

bool GetScreenBrightness(IQelValue* value, IQelService* context) {
  if (!value || !context) return false;
  const int32_t level = static_cast<IQelBacklightService*>(context)->GetBrightness();
  return level != -1 && value->SetUInt32(uint32_t(level));
}

// The level is handed on; whether the driver took it is not the write's concern.
bool SetScreenBrightness(IQelValue* value, IQelService* context) {
  uint32_t level = 0;
  if (!value || !context || !value->GetUInt32(&level)) return false;
  static_cast<IQelBacklightService*>(context)->SetBrightness(level);
  return true;
}

bool GetBacklightTimeoutAc(IQelValue* value, IQelService*) {
  return StoreTimeout(value, &IQelBacklightService::GetACTimeout);
}
bool SetBacklightTimeoutAc(IQelValue* value, IQelService*) {
  return TakeTimeout(value, &IQelBacklightService::SetACTimeout);
}
bool GetBacklightTimeoutBattery(IQelValue* value, IQelService*) {
  return StoreTimeout(value, &IQelBacklightService::GetBatteryTimeout);
}
bool SetBacklightTimeoutBattery(IQelValue* value, IQelService*) {
  return TakeTimeout(value, &IQelBacklightService::SetBatteryTimeout);
}

bool GetSuspendTimeout(IQelValue* value, IQelService*) {
  if (!value) return false;
  const uint32_t timeout = GetBatterySuspendTimeout();
  return timeout != 0xFFFFFFFFu && value->SetUInt32(timeout);
}

bool SetSuspendTimeout(IQelValue* value, IQelService*) {
  uint32_t timeout = 0;
  return value && value->GetUInt32(&timeout) && SetBatterySuspendTimeout(timeout);
}

}  // namespace qel

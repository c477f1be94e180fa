#include "backlight.h"

#include "api.h"
#include "ce/error.h"
#include "ce/power.h"
#include "hardware.h"
#include "last_error.h"
#include "recorded_change.h"
#include "terminal.h"

namespace ce::sim {

bool RecordBacklight(const hw::Changes& changes, const std::string& line) {
  return RecordedChange("backlight", changes, line);
}

}  // namespace ce::sim

namespace ce::sim::api {

// The power manager's states the backlight follows: on lights it, user idle
// darkens it. Named states are not kept by this terminal.
DWORD SetSystemPowerState(LPCWSTR state, DWORD flags, DWORD) {
  namespace hw = sim::hw;
  if (!sim::Current()) return ERROR_NOT_READY;
  if (const DWORD error = hw::Read(hw::kSetPowerStateError)) return error;
  if (state) return ERROR_INVALID_PARAMETER;
  bool on;
  if (flags & POWER_STATE_ON)
    on = true;
  else if (flags & POWER_STATE_USERIDLE)
    on = false;
  else
    return ERROR_INVALID_PARAMETER;
  if (!sim::RecordBacklight(hw::Changes().Set(hw::kBacklightOn, on), on ? "on" : "off"))
    return ERROR_GEN_FAILURE;
  return ERROR_SUCCESS;
}

}  // namespace ce::sim::api

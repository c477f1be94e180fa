#include "backlight.h"

#include <unistd.h>

#include "api.h"
#include "ce/error.h"
#include "ce/power.h"
#include "hardware.h"
#include "last_error.h"
#include "outputs.h"
#include "terminal.h"

namespace ce::sim {

void RecordBacklight(const std::string& line) {
  std::string ignored;
  auto out = OpenOutput("backlight", "txt", &ignored);
  if (!out) return;  // the history is a record for people; the device works without it
  const std::string text = line + "\n";
  [[maybe_unused]] const ssize_t written = ::write(out->fd.get(), text.data(), text.size());
  FinishOutput(std::move(*out), &ignored);
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
  if (!hw::Write(hw::kBacklightOn, on)) return ERROR_GEN_FAILURE;
  RecordBacklight(on ? "on" : "off");
  return ERROR_SUCCESS;
}

}  // namespace ce::sim::api

#include "devices/backlight_service.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "ce/handle.h"
#include "ce/power.h"
#include "ce/registry.h"
#include "ce/sync.h"
#include "core/proc_address.h"
#include "core/registry_values.h"

namespace qel {
namespace {

constexpr const char16_t* kKey = u"ControlPanel\\backlight";
constexpr const char16_t* kChangeEvent = u"BackLightChangeEvent";
constexpr const char16_t* kAcTimeout = u"ACTimeout";
constexpr const char16_t* kBatteryTimeout = u"BatteryTimeout";

// Brightness levels run 0 to 5.
constexpr uint32_t kLevels = 6;
// Drivers differ in which of these names they read; each one present is kept
// in step, and none is made.
constexpr const char16_t* kBrightnessWritten[] = {u"BatteryBrightness", u"ACBrightness", u"DCBrightness",
                                                  u"BattBrightness", u"Brightness"};
constexpr const char16_t* kBrightnessRead[] = {u"BatteryBrightness", u"BattBrightness", u"Brightness"};

// The key is opened, never made: a terminal without it has no backlight settings.
ce::RegKey OpenKey() { return OpenExistingKey(HKEY_CURRENT_USER, kKey); }

// Tells the display driver to read the settings again.
bool SignalChange() {
  const ce::UniqueHandle event(ce::CreateEventW(nullptr, FALSE, FALSE, kChangeEvent));
  if (!event) return false;
  ce::SetEvent(event.get());
  return true;
}

// Writes the named time-outs, then signals; the writes' results do not count.
template <class... Names>
bool WriteTimeouts(uint32_t timeout, Names... names) {
  {
    const ce::RegKey key = OpenKey();
    if (!key) return false;
    (WriteDword(key.get(), names, timeout), ...);
  }
  return SignalChange();
}

uint32_t ReadTimeout(const char16_t* name) {
  const ce::RegKey key = OpenKey();
  if (!key) return 0;
  ce::DWORD value = 0xFFFFFFFF;
  QueryDword(key.get(), name, &value);
  return value;
}

}  // namespace

// The registry implementation.

bool CQelBacklightService::SetBacklight(bool on) {
  const ce::RegKey key = OpenKey();
  if (!key) return false;
  return ce::SetSystemPowerState(nullptr, on ? POWER_STATE_ON : POWER_STATE_USERIDLE, POWER_FORCE) ==
         ERROR_SUCCESS;
}

bool CQelBacklightService::SetTimeout(uint32_t timeout) {
  return WriteTimeouts(timeout, kAcTimeout, kBatteryTimeout);
}

bool CQelBacklightService::SetBrightness(uint32_t level) {
  if (level >= kLevels) return false;
  bool lastWrite = true;
  {
    const ce::RegKey key = OpenKey();
    if (!key) return false;
    for (const char16_t* name : kBrightnessWritten) {
      ce::DWORD present = 0;
      if (QueryDword(key.get(), name, &present)) lastWrite = WriteDword(key.get(), name, level);
    }
  }
  return SignalChange() && lastWrite;
}

int32_t CQelBacklightService::GetBrightness() {
  const ce::RegKey key = OpenKey();
  if (!key) return -1;
  for (const char16_t* name : kBrightnessRead) {
    ce::DWORD level = 0;
    if (QueryDword(key.get(), name, &level)) return int32_t(level);
  }
  return -1;
}

uint32_t CQelBacklightService::GetACTimeout() { return ReadTimeout(kAcTimeout); }
bool CQelBacklightService::SetACTimeout(uint32_t timeout) { return WriteTimeouts(timeout, kAcTimeout); }
uint32_t CQelBacklightService::GetBatteryTimeout() { return ReadTimeout(kBatteryTimeout); }
bool CQelBacklightService::SetBatteryTimeout(uint32_t timeout) {
  return WriteTimeouts(timeout, kBatteryTimeout);
}

// The vendor library's implementation.

CQelBacklightServiceLXE::CQelBacklightServiceLXE() : vendor_(ce::LoadLibraryW(u"LXEAPI.dll")) {
  if (!vendor_) return;
  const ce::HMODULE m = vendor_.get();
  setOn_ = ProcAddress<ce::PFN_LXESetBacklightOn>(m, u"LXESetBacklightOn");
  userEvent_ = ProcAddress<ce::PFN_LXEForceUserPrimaryEvent>(m, u"LXEForceUserPrimaryEvent");
  setBrightness_ = ProcAddress<ce::PFN_LXESetBrightness>(m, u"LXESetBrightness");
  getBrightness_ = ProcAddress<ce::PFN_LXEGetBrightness>(m, u"LXEGetBrightness");
  setTimeouts_ = ProcAddress<ce::PFN_LXEPowerMgrBacklightTimeout>(m, u"LXEPowerMgrBacklightTimeout");
  getTimeouts_ = ProcAddress<ce::PFN_LXEPowerMgrGetBacklightTimeout>(m, u"LXEPowerMgrGetBacklightTimeout");
}

bool CQelBacklightServiceLXE::SetBacklight(bool on) {
  if (!setOn_) return false;
  ce::BOOL last = setOn_(on ? TRUE : FALSE);
  // Switching on also counts as user activity, so the idle timer starts over.
  if (on) last = userEvent_ ? userEvent_() : FALSE;
  return last != 0;
}

bool CQelBacklightServiceLXE::SetTimeout(uint32_t timeout) {
  return setTimeouts_ && setTimeouts_(timeout, timeout) == 1;
}

bool CQelBacklightServiceLXE::SetBrightness(uint32_t level) {
  if (!setBrightness_) return false;
  const double percent = std::trunc(double(level) * 100 * 0.2 + 0.5);  // in doubles: no level wraps
  return setBrightness_(ce::DWORD(std::min(percent, 100.0))) == 1;
}

int32_t CQelBacklightServiceLXE::GetBrightness() {
  ce::DWORD percent = 0;
  if (!getBrightness_ || getBrightness_(&percent) == -1) return -1;
  return int32_t(std::trunc(double(percent) * 5 * 0.01 + 0.5));
}

uint32_t CQelBacklightServiceLXE::GetACTimeout() {
  ce::DWORD battery = 0, ac = 0;
  return getTimeouts_ && getTimeouts_(&battery, &ac) == 1 ? ac : 0;
}

uint32_t CQelBacklightServiceLXE::GetBatteryTimeout() {
  ce::DWORD battery = 0, ac = 0;
  return getTimeouts_ && getTimeouts_(&battery, &ac) == 1 ? battery : 0;
}

bool CQelBacklightServiceLXE::SetOneTimeout(uint32_t timeout, bool ac) {
  if (!getTimeouts_ || !setTimeouts_) return false;
  ce::DWORD battery = 0, acNow = 0;
  const int read = getTimeouts_(&battery, &acNow);
  if (read == 0) return false;
  ce::DWORD& target = ac ? acNow : battery;
  if (target == timeout) return true;
  target = timeout;
  setTimeouts_(battery, acNow);
  // Only a reading the library vouched for (1) makes the pair written a sure one.
  return read == 1;
}

bool CQelBacklightServiceLXE::SetACTimeout(uint32_t timeout) { return SetOneTimeout(timeout, true); }
bool CQelBacklightServiceLXE::SetBatteryTimeout(uint32_t timeout) { return SetOneTimeout(timeout, false); }

IQelService* CreateBacklightService() { return new (std::nothrow) CQelBacklightServiceLXE; }

}  // namespace qel

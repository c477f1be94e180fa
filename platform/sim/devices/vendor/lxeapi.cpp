// "LXEAPI.dll": the terminal maker's library of version texts, boot counters,
// the audio codec's gain and the display backlight.
#include <string>

#include "backlight.h"
#include "ce/vendor.h"
#include "hardware.h"
#include "modules.h"
#include "reboot.h"
#include "vendor_library.h"

namespace ce::sim {
namespace {

BOOL LXEVersionSerial(char* buffer, DWORD size) { return AnsiAnswer(hw::Read(hw::kLxeSerial), buffer, size); }
BOOL LXEVersionOAL(char* buffer, DWORD size) {
  return AnsiAnswer(hw::Read(hw::kLxeOalVersion), buffer, size);
}

// The maker's warm and cold boots: the HAL's reboot, the cold one with the clean-boot flag set.
void LXEBoot() {
  if (hw::Increment(hw::kLxeBoots)) RebootTerminal();
}
void LXEBootClear() {
  if (hw::Increment(hw::kLxeClearBoots)) RebootTerminal(true);
}

// The codec takes -17.0 to +29.0 dB; the hardware state can make both calls fail.
constexpr LONG kMinGain = -170, kMaxGain = 290;

BOOL LXEAudioSetGain(LONG tenths) {
  if (hw::Read(hw::kLxeAudioGainFails) || tenths < kMinGain || tenths > kMaxGain) return FALSE;
  return hw::Write(hw::kLxeAudioGain, int32_t(tenths)) ? TRUE : FALSE;
}

BOOL LXEAudioGetGain(LONG* tenths) {
  if (!tenths || hw::Read(hw::kLxeAudioGainFails)) return FALSE;
  *tenths = hw::Read(hw::kLxeAudioGain);
  return TRUE;
}

// The backlight calls answer what lxe.backlight.* say: the failure value
// (0, or -1 for GetBrightness) does nothing, any other acts and is returned.
BOOL LXESetBacklightOn(BOOL on) {
  const int32_t result = hw::Read(hw::kLxeSetBacklightOnResult);
  if (result == 0 || !RecordBacklight(hw::Changes().Set(hw::kBacklightOn, on != FALSE), on ? "on" : "off"))
    return FALSE;
  return result;
}

BOOL LXEForceUserPrimaryEvent() {
  const int32_t result = hw::Read(hw::kLxeUserEventResult);
  if (result != 0) RecordBacklight(hw::Changes(), "user activity");
  return result;
}

int LXESetBrightness(DWORD percent) {
  const int32_t result = hw::Read(hw::kLxeSetBrightnessResult);
  if (result == 0 || percent > 100 ||
      !RecordBacklight(hw::Changes().Set(hw::kBacklightBrightness, uint32_t(percent)),
                       "brightness " + std::to_string(percent)))
    return 0;
  return result;
}

int LXEGetBrightness(DWORD* percent) {
  const int32_t result = hw::Read(hw::kLxeGetBrightnessResult);
  if (!percent || result == -1) return -1;
  *percent = hw::Read(hw::kBacklightBrightness);
  return result;
}

int LXEPowerMgrBacklightTimeout(DWORD battery, DWORD ac) {
  const int32_t result = hw::Read(hw::kLxeSetTimeoutResult);
  const auto both = hw::Changes()
                        .Set(hw::kBacklightTimeoutBattery, uint32_t(battery))
                        .Set(hw::kBacklightTimeoutAc, uint32_t(ac));
  if (result == 0 ||
      !RecordBacklight(both, "timeouts battery " + std::to_string(battery) + " ac " + std::to_string(ac)))
    return 0;
  return result;
}

int LXEPowerMgrGetBacklightTimeout(DWORD* battery, DWORD* ac) {
  const int32_t result = hw::Read(hw::kLxeGetTimeoutResult);
  if (!battery || !ac || result == 0) return 0;
  *battery = hw::Read(hw::kBacklightTimeoutBattery);
  *ac = hw::Read(hw::kBacklightTimeoutAc);
  return result;
}

const bool kRegistered = RegisterModuleExports(
    u"LXEAPI.dll",
    {{u"LXEVersionSerial", Export<PFN_LXEVersionSerial>(LXEVersionSerial)},
     {u"LXEVersionOAL", Export<PFN_LXEVersionOAL>(LXEVersionOAL)},
     {u"LXEBoot", Export<PFN_LXEBoot>(LXEBoot)},
     {u"LXEBootClear", Export<PFN_LXEBootClear>(LXEBootClear)},
     {u"LXEAudioSetGain", Export<PFN_LXEAudioSetGain>(LXEAudioSetGain)},
     {u"LXEAudioGetGain", Export<PFN_LXEAudioGetGain>(LXEAudioGetGain)},
     {u"LXESetBacklightOn", Export<PFN_LXESetBacklightOn>(LXESetBacklightOn)},
     {u"LXEForceUserPrimaryEvent", Export<PFN_LXEForceUserPrimaryEvent>(LXEForceUserPrimaryEvent)},
     {u"LXESetBrightness", Export<PFN_LXESetBrightness>(LXESetBrightness)},
     {u"LXEGetBrightness", Export<PFN_LXEGetBrightness>(LXEGetBrightness)},
     {u"LXEPowerMgrBacklightTimeout", Export<PFN_LXEPowerMgrBacklightTimeout>(LXEPowerMgrBacklightTimeout)},
     {u"LXEPowerMgrGetBacklightTimeout",
      Export<PFN_LXEPowerMgrGetBacklightTimeout>(LXEPowerMgrGetBacklightTimeout)}});

}  // namespace
}  // namespace ce::sim

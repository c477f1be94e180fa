// The notification-LED driver: the profile says how many LEDs there are; each
// setting is kept in the hardware state (so `terminal show` has it) and
// written to the "led" history in the outputs folder.
#include "ce/nled.h"

#include <cstring>
#include <string>

#include "api.h"
#include "ce/error.h"
#include "hardware.h"
#include "last_error.h"
#include "modules.h"
#include "recorded_change.h"
#include "terminal.h"
#include "vendor_library.h"

namespace ce::sim::api {
namespace {

namespace hw = sim::hw;

constexpr LONG kGranularityUs = 1000;

const char* ModeName(int32_t mode) {
  switch (mode) {
    case 0:
      return "off";
    case 1:
      return "on";
    default:
      return "blink";
  }
}

bool IsLed(UINT n) { return sim::Current() && n < hw::Read(hw::kLedCount); }

}  // namespace

BOOL NLedGetDeviceInfo(UINT infoId, void* output) {
  if (!output || !sim::Current()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  switch (infoId) {
    case NLED_COUNT_INFO_ID:
      static_cast<NLED_COUNT_INFO*>(output)->cLeds = hw::Read(hw::kLedCount);
      return TRUE;
    case NLED_SUPPORTS_INFO_ID: {
      auto* s = static_cast<NLED_SUPPORTS_INFO*>(output);
      if (!IsLed(s->LedNum)) break;
      s->lCycleAdjust = kGranularityUs;
      s->fAdjustTotalCycleTime = s->fAdjustOnTime = s->fAdjustOffTime = TRUE;
      s->fMetaCycleOn = s->fMetaCycleOff = TRUE;
      return TRUE;
    }
    case NLED_SETTINGS_INFO_ID: {
      auto* s = static_cast<NLED_SETTINGS_INFO*>(output);
      if (!IsLed(s->LedNum)) break;
      const std::string n = std::to_string(s->LedNum);
      s->OffOnBlink = int32_t(hw::Read(hw::kLedMode, n));
      s->TotalCycleTime = hw::Read(hw::kLedTotalCycleTime, n);
      s->OnTime = hw::Read(hw::kLedOnTime, n);
      s->OffTime = hw::Read(hw::kLedOffTime, n);
      s->MetaCycleOn = hw::Read(hw::kLedMetaCycleOn, n);
      s->MetaCycleOff = hw::Read(hw::kLedMetaCycleOff, n);
      return TRUE;
    }
    default:
      break;
  }
  SetLastError(ERROR_INVALID_PARAMETER);
  return FALSE;
}

BOOL NLedSetDevice(UINT deviceId, void* input) {
  if (deviceId != NLED_SETTINGS_INFO_ID || !input) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  NLED_SETTINGS_INFO s;
  std::memcpy(&s, input, sizeof s);
  const bool timesValid =
      s.TotalCycleTime >= 0 && s.OnTime >= 0 && s.OffTime >= 0 && s.MetaCycleOn >= 0 && s.MetaCycleOff >= 0;
  if (!IsLed(s.LedNum) || s.OffOnBlink < 0 || s.OffOnBlink > 2 || !timesValid) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::string n = std::to_string(s.LedNum);
  const hw::Changes settings = hw::Changes()
                                   .Set(hw::kLedMode, DWORD(s.OffOnBlink), n)
                                   .Set(hw::kLedTotalCycleTime, s.TotalCycleTime, n)
                                   .Set(hw::kLedOnTime, s.OnTime, n)
                                   .Set(hw::kLedOffTime, s.OffTime, n)
                                   .Set(hw::kLedMetaCycleOn, s.MetaCycleOn, n)
                                   .Set(hw::kLedMetaCycleOff, s.MetaCycleOff, n);
  std::string line = "led " + n + " " + ModeName(s.OffOnBlink);
  if (s.OffOnBlink == 2)
    line += " total=" + std::to_string(s.TotalCycleTime) + "us on=" + std::to_string(s.OnTime) +
            "us off=" + std::to_string(s.OffTime) + "us meta_on=" + std::to_string(s.MetaCycleOn) +
            " meta_off=" + std::to_string(s.MetaCycleOff);
  const bool stored = sim::RecordedChange("led", settings, line);
  if (!stored) {
    SetLastError(ERROR_GEN_FAILURE);
    return FALSE;
  }
  return TRUE;
}

namespace {
const bool kRegistered = sim::RegisterModuleExports(
    u"coredll.dll", {{u"NLedGetDeviceInfo", sim::Export<decltype(&NLedGetDeviceInfo)>(NLedGetDeviceInfo)},
                     {u"NLedSetDevice", sim::Export<decltype(&NLedSetDevice)>(NLedSetDevice)}});
}  // namespace

}  // namespace ce::sim::api

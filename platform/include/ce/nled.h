// The notification-LED driver: how many LEDs there are, and each one's
// mode (off, on, blinking) with its blink timing.
#pragma once

#include "ce/types.h"

#ifndef NLED_COUNT_INFO_ID
#define NLED_COUNT_INFO_ID 0
#endif
#ifndef NLED_SUPPORTS_INFO_ID
#define NLED_SUPPORTS_INFO_ID 1
#endif
#ifndef NLED_SETTINGS_INFO_ID
#define NLED_SETTINGS_INFO_ID 2
#endif

namespace ce {

struct NLED_COUNT_INFO {
  UINT cLeds;
};

struct NLED_SUPPORTS_INFO {
  UINT LedNum;
  LONG lCycleAdjust;  // the timing granularity, in microseconds
  BOOL fAdjustTotalCycleTime;
  BOOL fAdjustOnTime;
  BOOL fAdjustOffTime;
  BOOL fMetaCycleOn;
  BOOL fMetaCycleOff;
};

// Times in microseconds; OffOnBlink 0 off, 1 on, 2 blink.
struct NLED_SETTINGS_INFO {
  UINT LedNum;
  int32_t OffOnBlink;
  LONG TotalCycleTime;
  LONG OnTime;
  LONG OffTime;
  int32_t MetaCycleOn;
  int32_t MetaCycleOff;
};
static_assert(sizeof(NLED_SETTINGS_INFO) == 28);

// infoId NLED_COUNT_INFO_ID, NLED_SUPPORTS_INFO_ID or NLED_SETTINGS_INFO_ID;
// for the last two, output's LedNum names the LED.
BOOL NLedGetDeviceInfo(UINT infoId, void* output);
// deviceId NLED_SETTINGS_INFO_ID with an NLED_SETTINGS_INFO.
BOOL NLedSetDevice(UINT deviceId, void* input);

}  // namespace ce

// The backlight and suspend time-out properties: SCREEN_BRIGHTNESS with the
// backlight service as context; the time-outs without one, through the
// backlight service the module holds once Register has run.
#pragma once

#include "qel/host.h"

namespace qel {

bool GetScreenBrightness(IQelValue* value, IQelService* context);
bool SetScreenBrightness(IQelValue* value, IQelService* context);
bool GetBacklightTimeoutAc(IQelValue* value, IQelService* context);
bool SetBacklightTimeoutAc(IQelValue* value, IQelService* context);
bool GetBacklightTimeoutBattery(IQelValue* value, IQelService* context);
bool SetBacklightTimeoutBattery(IQelValue* value, IQelService* context);
bool GetSuspendTimeout(IQelValue* value, IQelService* context);
bool SetSuspendTimeout(IQelValue* value, IQelService* context);

}  // namespace qel

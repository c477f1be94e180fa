// The power-status properties: context-free, read from the battery driver.
#pragma once

#include "qel/host.h"

namespace qel {

bool GetBatteryLevel(IQelValue* value, IQelService* context);
bool GetBatteryLevelRefreshed(IQelValue* value, IQelService* context);
bool GetPowerSource(IQelValue* value, IQelService* context);
bool GetPowerSourceRefreshed(IQelValue* value, IQelService* context);
bool GetBatteryLifetime(IQelValue* value, IQelService* context);

}  // namespace qel

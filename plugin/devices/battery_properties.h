// The BATT_* properties, with the battery service as context.
#pragma once

#include "qel/host.h"

namespace qel {

bool GetBatteryChargeCycles(IQelValue* value, IQelService* context);
bool GetBatterySerialNumber(IQelValue* value, IQelService* context);
bool GetBatteryStateOfHealth(IQelValue* value, IQelService* context);
bool GetBatteryChemistry(IQelValue* value, IQelService* context);
bool GetBatteryDate(IQelValue* value, IQelService* context);

}  // namespace qel

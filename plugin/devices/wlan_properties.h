// The Wi-Fi properties, with the WLAN service as context.
#pragma once

#include "qel/host.h"

namespace qel {

bool GetWifiRssiPercent(IQelValue* value, IQelService* context);
bool GetWifiRssiDbm(IQelValue* value, IQelService* context);
bool GetWifiSsid(IQelValue* value, IQelService* context);
bool GetWifiBssid(IQelValue* value, IQelService* context);

}  // namespace qel

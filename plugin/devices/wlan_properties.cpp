#include "devices/wlan_properties.h"

#include "core/property_adapters.h"
#include "qel/wlan.h"

namespace qel {

bool GetWifiRssiPercent(IQelValue* value, IQelService* context) {
  if (!value || !context) return false;
  const int16_t level = int16_t(static_cast<IQelWlanService*>(context)->GetSignalLevel());
  return value->SetInt32(level < 0 ? level : level * 20);
}

bool GetWifiRssiDbm(IQelValue* value, IQelService* context) {
  if (!value || !context) return false;
  int16_t dbm = 0;
  if (!static_cast<IQelWlanService*>(context)->GetRssi(&dbm)) return false;
  return value->SetInt32(dbm);
}

bool GetWifiSsid(IQelValue* value, IQelService* context) {
  return GetTextOf<IQelWlanService, &IQelWlanService::GetSsid, 128>(value, context);
}

bool GetWifiBssid(IQelValue* value, IQelService* context) {
  return GetTextOf<IQelWlanService, &IQelWlanService::GetBssid, 128>(value, context);
}

}  // namespace qel

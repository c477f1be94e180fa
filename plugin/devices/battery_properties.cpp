#include "devices/battery_properties.h"

#include <memory>

#include "qel/battery.h"
#include "qel/value.h"

namespace qel {
namespace {

IQelBatteryService* Battery(IQelService* context) { return static_cast<IQelBatteryService*>(context); }

bool StoreNumber(IQelValue* value, IQelService* context, int32_t (IQelBatteryService::*get)()) {
  if (!value || !context) return false;
  const int32_t n = (Battery(context)->*get)();
  return n != -1 && value->SetUInt32(uint32_t(n));
}

// The service's new value copied into the property's, then dropped.
bool StoreCopy(IQelValue* value, IQelService* context, IQelValue* (IQelBatteryService::*get)()) {
  if (!value || !context) return false;
  const std::unique_ptr<IQelValue, ValueDeleter> answer((Battery(context)->*get)());
  return answer && value->Assign(answer.get());
}

}  // namespace

bool GetBatteryChargeCycles(IQelValue* value, IQelService* context) {
  return StoreNumber(value, context, &IQelBatteryService::GetChargeCycles);
}
bool GetBatterySerialNumber(IQelValue* value, IQelService* context) {
  return StoreCopy(value, context, &IQelBatteryService::GetSerialNumber);
}
bool GetBatteryStateOfHealth(IQelValue* value, IQelService* context) {
  return StoreNumber(value, context, &IQelBatteryService::GetStateOfHealth);
}
bool GetBatteryChemistry(IQelValue* value, IQelService* context) {
  return StoreCopy(value, context, &IQelBatteryService::GetChemistry);
}
bool GetBatteryDate(IQelValue* value, IQelService* context) {
  return StoreCopy(value, context, &IQelBatteryService::GetManufactureDate);
}

}  // namespace qel

// IID_QELBATTERYSERVICE: the battery's charge, the external power and the
// battery's chemistry, as the power driver reports them.
#pragma once

#include "qel/service.h"
#include "qel/value.h"

class IQelBatteryService : public IQelService {
 public:
  virtual uint8_t GetBatteryPercent(bool refresh) = 0;  // slot 8
  virtual bool IsOnExternalPower(bool refresh) = 0;     // slot 9
  virtual uint8_t GetLineStatus(bool refresh) = 0;      // slot 10: 0xFF when unknown
  virtual int32_t GetChargeCycles() = 0;                // slot 11: -1 when unknown
  virtual IQelValue* GetSerialNumber() = 0;             // slot 12: a new value, or null
  virtual int32_t GetStateOfHealth() = 0;               // slot 13: -1 when unknown
  virtual IQelValue* GetChemistry() = 0;                // slot 14: a new text value, or null
  virtual IQelValue* GetManufactureDate() = 0;          // slot 15: a new value, or null

 protected:
  ~IQelBatteryService() = default;
};

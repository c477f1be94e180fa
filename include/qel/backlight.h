// IID_QELBACKLIGHTSERVICE: the display backlight, its brightness (levels 0 to 5)
// and its inactivity time-outs on external power and on battery.
#pragma once

#include "qel/service.h"

class IQelBacklightService : public IQelService {
 public:
  virtual bool SetBacklight(bool on) = 0;                // slot 8
  virtual bool SetTimeout(uint32_t timeout) = 0;         // slot 9: both time-outs
  virtual bool SetBrightness(uint32_t level) = 0;        // slot 10
  virtual int32_t GetBrightness() = 0;                   // slot 11: -1 when unknown
  virtual uint32_t GetACTimeout() = 0;                   // slot 12
  virtual bool SetACTimeout(uint32_t timeout) = 0;       // slot 13
  virtual uint32_t GetBatteryTimeout() = 0;              // slot 14
  virtual bool SetBatteryTimeout(uint32_t timeout) = 0;  // slot 15

 protected:
  ~IQelBacklightService() = default;
};

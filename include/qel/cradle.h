// IID_QELCRADLESERVICE: the vehicle cradle.
#pragma once

#include "qel/service.h"

class IQelCradleService : public IQelService {
 public:
  virtual bool Unlock(uint32_t time, uint32_t first, uint32_t second, bool flag) = 0;       // slot 8
  virtual bool BlinkLed(uint32_t count, uint32_t onTime, uint32_t offTime, bool flag) = 0;  // slot 9
  virtual bool SetFastCharge(bool on) = 0;                                                  // slot 10

 protected:
  ~IQelCradleService() = default;
};

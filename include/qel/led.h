// IID_QELLEDSERVICE: the terminal's notification LEDs. Times are in
// milliseconds.
#pragma once

#include "qel/service.h"

class IQelLedService : public IQelService {
 public:
  virtual bool LedOn(uint32_t led) = 0;                                    // slot 8
  virtual bool LedOff(uint32_t led) = 0;                                   // slot 9
  virtual bool LedBlink(uint32_t led, uint32_t onMs, uint32_t offMs) = 0;  // slot 10
  virtual bool LedBlinkCycles(uint32_t led, uint32_t onMs, uint32_t offMs, uint32_t metaOn,
                              uint32_t metaOff) = 0;  // slot 11

 protected:
  ~IQelLedService() = default;
};

// The LED service: every operation is one settings record handed to the
// system's notification-LED driver, found in the core library once.
#pragma once

#include "ce/module.h"
#include "ce/nled.h"
#include "qel/guids.h"
#include "qel/led.h"
#include "qel/object.h"

namespace qel {

class CQelLedService final : public CQelObject<IQelLedService, IID_QELLEDSERVICE> {
 public:
  CQelLedService();

  bool LedOn(uint32_t led) override;
  bool LedOff(uint32_t led) override;
  bool LedBlink(uint32_t led, uint32_t onMs, uint32_t offMs) override;
  bool LedBlinkCycles(uint32_t led, uint32_t onMs, uint32_t offMs, uint32_t metaOn,
                      uint32_t metaOff) override;

 private:
  using SetDeviceFn = ce::BOOL (*)(ce::UINT, void*);
  bool Send(const ce::NLED_SETTINGS_INFO& settings);

  ce::UniqueModule core_;
  SetDeviceFn setDevice_ = nullptr;
};

IQelService* CreateLedService();

}  // namespace qel

// The cradle service of this build: the terminal's cradle offers none of its
// controls, so every operation reports failure.
#pragma once

#include "qel/cradle.h"
#include "qel/guids.h"
#include "qel/object.h"

namespace qel {

class CQelCradleService final : public CQelObject<IQelCradleService, IID_QELCRADLESERVICE> {
 public:
  bool Unlock(uint32_t, uint32_t, uint32_t, bool) override { return false; }
  bool BlinkLed(uint32_t, uint32_t, uint32_t, bool) override { return false; }
  bool SetFastCharge(bool) override { return false; }
};

IQelService* CreateCradleService();

}  // namespace qel

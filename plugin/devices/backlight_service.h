// The backlight service (IID_QELBACKLIGHTSERVICE). The generic class keeps the
// settings in the registry and tells the display driver through a named
// event; the LXE class, the one this terminal gets, asks the vendor library.
#pragma once

#include "ce/module.h"
#include "ce/vendor.h"
#include "qel/backlight.h"
#include "qel/guids.h"
#include "qel/object.h"

namespace qel {

class CQelBacklightService : public CQelObject<IQelBacklightService, IID_QELBACKLIGHTSERVICE> {
 public:
  bool SetBacklight(bool on) override;
  bool SetTimeout(uint32_t timeout) override;
  bool SetBrightness(uint32_t level) override;
  int32_t GetBrightness() override;
  uint32_t GetACTimeout() override;
  bool SetACTimeout(uint32_t timeout) override;
  uint32_t GetBatteryTimeout() override;
  bool SetBatteryTimeout(uint32_t timeout) override;
};

class CQelBacklightServiceLXE final : public CQelBacklightService {
 public:
  CQelBacklightServiceLXE();

  bool SetBacklight(bool on) override;
  bool SetTimeout(uint32_t timeout) override;
  bool SetBrightness(uint32_t level) override;
  int32_t GetBrightness() override;
  uint32_t GetACTimeout() override;
  bool SetACTimeout(uint32_t timeout) override;
  uint32_t GetBatteryTimeout() override;
  bool SetBatteryTimeout(uint32_t timeout) override;

 private:
  // Sets one of the pair, leaving the other as the library reports it.
  bool SetOneTimeout(uint32_t timeout, bool ac);

  ce::UniqueModule vendor_;
  ce::PFN_LXESetBacklightOn setOn_ = nullptr;
  ce::PFN_LXEForceUserPrimaryEvent userEvent_ = nullptr;
  ce::PFN_LXESetBrightness setBrightness_ = nullptr;
  ce::PFN_LXEGetBrightness getBrightness_ = nullptr;
  ce::PFN_LXEPowerMgrBacklightTimeout setTimeouts_ = nullptr;
  ce::PFN_LXEPowerMgrGetBacklightTimeout getTimeouts_ = nullptr;
};

// The service this terminal gets; null when memory runs out.
IQelService* CreateBacklightService();

}  // namespace qel

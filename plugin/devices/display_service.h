// Screen orientation through the display driver.
#pragma once

#include "qel/display.h"
#include "qel/guids.h"
#include "qel/object.h"

namespace qel {

class CQelDisplayService final : public CQelObject<IQelDisplayService, IID_QELDISPLAYSERVICE> {
 public:
  CQelDisplayService();

  void SaveState() override;
  void RestoreState() override;

  bool Reserved8(uint32_t) override { return false; }
  bool SetOrientation(uint32_t code) override;
  bool GetOrientation(uint32_t* code) override;
  bool GetFirstPreset(uint32_t* code) override;
  bool GetSecondPreset(uint32_t* code) override;
  uint32_t GetCounter() override { return 0; }

 private:
  uint32_t saved_ = 0;
  uint32_t firstPreset_ = 0;
  uint32_t secondPreset_ = 0;
};

IQelService* CreateDisplayService();

}  // namespace qel

// The battery service (IID_QELBATTERYSERVICE): charge, external power and
// chemistry from the power driver's status records. This terminal's driver
// reports no charge cycles, serial number, health or date.
#pragma once

#include "qel/battery.h"
#include "qel/guids.h"
#include "qel/object.h"

namespace qel {

class CQelBatteryService final : public CQelObject<IQelBatteryService, IID_QELBATTERYSERVICE> {
 public:
  uint8_t GetBatteryPercent(bool refresh) override;
  bool IsOnExternalPower(bool refresh) override;
  uint8_t GetLineStatus(bool refresh) override;
  int32_t GetChargeCycles() override { return -1; }
  IQelValue* GetSerialNumber() override { return nullptr; }
  int32_t GetStateOfHealth() override { return -1; }
  IQelValue* GetChemistry() override;
  IQelValue* GetManufactureDate() override { return nullptr; }
};

// The text of a chemistry code of the power record: empty for a code it does not know.
const char16_t* ChemistryText(uint8_t code);

IQelService* CreateBatteryService();

}  // namespace qel

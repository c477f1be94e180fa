#include "devices/battery_service.h"

#include <memory>
#include <new>

#include "ce/power.h"
#include "qelcommon/value.h"

namespace qel {
namespace {

// A driver that fills less than the whole record gives neither percent nor chemistry.
bool ReadRecord(ce::SYSTEM_POWER_STATUS_EX2* status, bool refresh) {
  return ce::GetSystemPowerStatusEx2(status, sizeof *status, refresh) >= sizeof *status;
}

constexpr const char16_t* kChemistry[] = {
    u"", u"Alkaline", u"Nickel Cadium", u"Metal Hydride", u"Lithium Ion", u"Lithium Polymer", u"Zinc Air",
};
constexpr uint8_t kChemistryUnknown = 0xFF;

}  // namespace

const char16_t* ChemistryText(uint8_t code) {
  if (code == kChemistryUnknown) return u"Unknown";
  return code < std::size(kChemistry) ? kChemistry[code] : u"";
}

uint8_t CQelBatteryService::GetBatteryPercent(bool refresh) {
  ce::SYSTEM_POWER_STATUS_EX2 status{};
  return ReadRecord(&status, refresh) ? status.BatteryLifePercent : 100;
}

bool CQelBatteryService::IsOnExternalPower(bool refresh) {
  ce::SYSTEM_POWER_STATUS_EX status{};
  return ce::GetSystemPowerStatusEx(&status, refresh) == 1 && status.ACLineStatus == AC_LINE_ONLINE;
}

uint8_t CQelBatteryService::GetLineStatus(bool refresh) {
  ce::SYSTEM_POWER_STATUS_EX status{};
  return ce::GetSystemPowerStatusEx(&status, refresh) == 1 ? status.ACLineStatus : AC_LINE_UNKNOWN;
}

IQelValue* CQelBatteryService::GetChemistry() {
  ce::SYSTEM_POWER_STATUS_EX2 status{};
  if (!ReadRecord(&status, false)) return nullptr;
  std::unique_ptr<CQelValue> text(new (std::nothrow) CQelValue);
  if (!text || !text->SetStringZ(ChemistryText(status.BatteryChemistry))) return nullptr;
  return text.release();
}

IQelService* CreateBatteryService() { return new (std::nothrow) CQelBatteryService; }

}  // namespace qel

// The battery service and its properties over the simulated power driver.
#include "devices/battery_service.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "ceutil/text.h"
#include "devices/battery_properties.h"
#include "qelcommon/ref.h"
#include "qelcommon/value.h"
#include "test_terminal.h"

namespace {

using qel::Ref;

Ref<IQelBatteryService> Battery() {
  return Ref<IQelBatteryService>::Adopt(static_cast<IQelBatteryService*>(qel::CreateBatteryService()));
}

// BATT_CHEM_TYPE's text, or "<fails>" with the value left as it was.
std::string ChemistryProperty(IQelBatteryService* battery) {
  CQelValue value;
  value.SetInt32(7);
  if (!qel::GetBatteryChemistry(&value, battery))
    return value.GetKind() == QelKind::Int32 ? "<fails>" : "<touched>";
  IQelText* text = nullptr;
  if (!value.GetString(&text) || !text) return "<no text>";
  return ceutil::ToUtf8(std::u16string(text->Chars(), text->Length()));
}

TEST(BatteryService, ChemistryTexts) {
  const std::pair<int, const char*> cases[] = {{0, ""},
                                               {1, "Alkaline"},
                                               {2, "Nickel Cadium"},
                                               {3, "Metal Hydride"},
                                               {4, "Lithium Ion"},
                                               {5, "Lithium Polymer"},
                                               {6, "Zinc Air"},
                                               {7, ""},  // not "Unknown": a code the table lacks
                                               {0xFE, ""},
                                               {0xFF, "Unknown"}};
  qeltest::TestTerminal terminal;
  const auto battery = Battery();
  for (const auto& [code, text] : cases) {
    terminal.Set("power.battery_chemistry", code);
    battery->GetBatteryPercent(true);  // the driver's new report; the chemistry reads the kept one
    EXPECT_EQ(ChemistryProperty(battery.get()), text) << code;
  }
}

// A driver that fills less than the 56-byte record gives no chemistry and a
// full battery; the basic record still answers the line status.
TEST(BatteryService, ShortRecords) {
  struct Case {
    int bytes;
    bool driverOk;
    int percent;
    const char* chemistry;
    int line;
  };
  const Case cases[] = {
      {56, true, 42, "Lithium Ion", 1},
      {55, true, 100, "<fails>", 1},
      {24, true, 100, "<fails>", 1},
      {56, false, 100, "<fails>", 0xFF},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    qeltest::TestTerminal terminal;
    terminal.Set("power.battery_life_percent", 42);
    terminal.Set("power.driver_ex2_bytes", c.bytes);
    terminal.Set("power.driver_ok", c.driverOk);
    const auto battery = Battery();
    EXPECT_EQ(battery->GetBatteryPercent(true), c.percent);
    EXPECT_EQ(ChemistryProperty(battery.get()), c.chemistry);
    EXPECT_EQ(battery->GetLineStatus(true), c.line);
    EXPECT_EQ(battery->IsOnExternalPower(true), c.line == 1);
  }
}

}  // namespace

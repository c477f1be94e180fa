// RegisterService as a host sees it: the exact sequence of registrar calls, and
// who holds the services afterwards.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "ce/text.h"
#include "ceutil/text.h"
#include "core/hal_event_handler.h"
#include "expected_properties.h"
#include "qel/exports.h"
#include "qel/guids.h"
#include "qelcommon/guid_text.h"
#include "recording_registrar.h"
#include "test_terminal.h"

namespace {

using qeltest::Op;
using qeltest::RecordingRegistrar;

struct ExpectedCall {
  Op op;
  std::string name;               // property
  const GUID* iid = nullptr;      // service
  bool writable = false;          // property
  const GUID* context = nullptr;  // property: the service registered under this GUID, or none
};

// Services come in registration order between the property groups: the HAL
// event handler first, the audio service with IBP and IPS before its
// properties, the keyboard service before KEYBOARD_LAYER, the wake-up and
// power event services after the keyboard's group, the cradle (no properties in this build) after the
// backlight group, the WLAN and the terminal information service before
// theirs, the display before its one property. All fifteen commands: DBL with
// the backlight service as context; CCK, SVR, SPR, SXC, BRP, BSP and PXS,
// context-free, between the backlight group and the cradle; ICD after the
// cradle, then the LED service with ILD; SRB, SWP and PGT after it, before the
// battery service.
std::vector<ExpectedCall> ExpectedCalls() {
  std::vector<ExpectedCall> out{{Op::AddService, "", &qel::IID_QELHALEVENTHANDLER},
                                {Op::AddService, "", &qel::IID_QELAUDIOSERVICE},
                                {Op::AddCommand, "IBP", nullptr, false, &qel::IID_QELAUDIOSERVICE},
                                {Op::AddCommand, "IPS", nullptr, false, &qel::IID_QELAUDIOSERVICE}};
  for (const auto& p : qeltest::kExpectedProperties) {
    const std::string name = p.name;
    if (name == "KEYBOARD_LAYER") out.push_back({Op::AddService, "", &qel::IID_QELKEYBOARDSERVICE});
    if (name == "POWER_BATTERY_LEVEL") {
      out.push_back({Op::AddService, "", &qel::IID_QELWAKEUPSERVICE});
      out.push_back({Op::AddService, "", &qel::IID_QELPOWEREVENTSERVICE});
    }
    if (name == "SCREEN_BRIGHTNESS") {
      out.push_back({Op::AddService, "", &qel::IID_QELBACKLIGHTSERVICE});
      out.push_back({Op::AddCommand, "DBL", nullptr, false, &qel::IID_QELBACKLIGHTSERVICE});
    }
    if (name == "BATT_CHARGE_CYCLES") {
      out.push_back({Op::AddCommand, "CCK"});
      out.push_back({Op::AddCommand, "SVR"});
      out.push_back({Op::AddCommand, "SPR"});
      out.push_back({Op::AddCommand, "SXC"});
      out.push_back({Op::AddCommand, "BRP"});
      out.push_back({Op::AddCommand, "BSP"});
      out.push_back({Op::AddCommand, "PXS"});
      out.push_back({Op::AddService, "", &qel::IID_QELCRADLESERVICE});
      out.push_back({Op::AddCommand, "ICD"});
      out.push_back({Op::AddService, "", &qel::IID_QELLEDSERVICE});
      out.push_back({Op::AddCommand, "ILD"});
      out.push_back({Op::AddCommand, "SRB"});
      out.push_back({Op::AddCommand, "SWP"});
      out.push_back({Op::AddCommand, "PGT"});
      out.push_back({Op::AddService, "", &qel::IID_QELBATTERYSERVICE});
    }
    if (name == "WIFI_RSSI_PERCENT") out.push_back({Op::AddService, "", &qel::IID_QELWLANSERVICE});
    if (name == "QEL_SSN") out.push_back({Op::AddService, "", &qel::IID_QELTERMINALSERVICE});
    if (name == "SYS_DROP_COUNT") out.push_back({Op::AddService, "", &qel::IID_QELDISPLAYSERVICE});
    const bool wlan = name.starts_with("WIFI_RSSI") || name == "WIFI_SSID" || name == "WIFI_BSSID" ||
                      name == "NET_WLAN_IPCONFIG";
    const bool terminal =
        name == "QEL_SSN" || (!out.empty() && out.back().context == &qel::IID_QELTERMINALSERVICE);
    const GUID* context = name == "SYS_DROP_COUNT"      ? &qel::IID_QELDISPLAYSERVICE
                          : name == "KEYBOARD_LAYER"    ? &qel::IID_QELKEYBOARDSERVICE
                          : name.starts_with("AUDIO_")  ? &qel::IID_QELAUDIOSERVICE
                          : name == "SCREEN_BRIGHTNESS" ? &qel::IID_QELBACKLIGHTSERVICE
                          : name.starts_with("BATT_")   ? &qel::IID_QELBATTERYSERVICE
                          : wlan                        ? &qel::IID_QELWLANSERVICE
                          : terminal                    ? &qel::IID_QELTERMINALSERVICE
                                                        : nullptr;
    out.push_back({Op::AddProperty, name, nullptr, p.writable, context});
  }
  return out;
}

std::string Describe(const qeltest::RegistrarCall& c) {
  switch (c.op) {
    case Op::AddCommand:
      return "AddCommand " + ceutil::ToUtf8(c.name);
    case Op::AddService:
      return "AddService " + qel::ToString(c.iid);
    case Op::AddProperty:
      return "AddProperty " + ceutil::ToUtf8(c.name);
  }
  return "?";
}

TEST(RegisterService, AnnouncesServicesAndPropertiesInOrder) {
  qeltest::TestTerminal terminal;
  RecordingRegistrar registrar;
  ASSERT_TRUE(RegisterService(&registrar));

  const auto expected = ExpectedCalls();
  ASSERT_EQ(expected.size(), 95u);
  std::vector<std::string> got;
  for (const auto& c : registrar.calls) got.push_back(Describe(c));
  ASSERT_EQ(registrar.calls.size(), expected.size()) << ::testing::PrintToString(got);

  std::map<std::string, IQelService*> serviceByIid;
  for (size_t i = 0; i < expected.size(); ++i) {
    const auto& want = expected[i];
    const auto& call = registrar.calls[i];
    SCOPED_TRACE("call " + std::to_string(i) + ": " + Describe(call));
    ASSERT_EQ(call.op, want.op);
    if (want.op == Op::AddService) {
      EXPECT_EQ(call.iid, *want.iid);
      void* self = nullptr;  // the service answers the GUID it is registered under, with itself
      ASSERT_TRUE(call.object && call.object->GetInterface(call.iid, &self));
      if (call.iid == qel::IID_QELHALEVENTHANDLER)  // the whole object, its thread part first
        EXPECT_EQ(static_cast<IQelService*>(qel::AsHalEventHandler(self)), call.object);
      else
        EXPECT_EQ(self, call.object);
      call.object->Release();
      serviceByIid[qel::ToString(call.iid)] = call.object;
      continue;
    }
    EXPECT_EQ(ceutil::ToUtf8(call.name), want.name);
    IQelService* context = want.context ? serviceByIid.at(qel::ToString(*want.context)) : nullptr;
    if (want.op == Op::AddCommand) {
      EXPECT_EQ(call.object, context);  // the audio commands' context is their service
      continue;
    }
    EXPECT_NE(call.getter, nullptr);
    EXPECT_EQ(call.setter != nullptr, want.writable);
    EXPECT_EQ(call.last, 0);
    EXPECT_EQ(call.object, context);
  }
}

TEST(RegisterService, LeavesTheRegistrarHoldingTheOnlyReferences) {
  qeltest::TestTerminal terminal;
  RecordingRegistrar registrar;
  ASSERT_TRUE(RegisterService(&registrar));

  std::map<IQelService*, int> held;  // references the registrar took, per object
  for (const auto& c : registrar.calls)
    if (c.object) ++held[c.object];
  // The handler, the audio, keyboard, wake-up, power event, backlight, cradle,
  // LED, battery, WLAN, terminal information and display services.
  ASSERT_EQ(held.size(), 12u);
  const auto services = std::ptrdiff_t(held.size());
  for (const auto& [object, n] : held) {
    EXPECT_EQ(object->AddRef(), n + 1);
    EXPECT_EQ(object->Release(), n);
  }
  // Dropping them all must end each object once, on its last release.
  const std::vector<int32_t> results = registrar.ReleaseAll();
  EXPECT_EQ(std::count(results.begin(), results.end(), 0), services);
  EXPECT_EQ(results.back(), 0);
}

}  // namespace

// The WLAN service over the simulated NDIS user-mode I/O driver.
#include "devices/wlan_service.h"

#include <gtest/gtest.h>

#include <string>

#include "ceutil/text.h"
#include "qelcommon/ref.h"
#include "test_terminal.h"

namespace {

using qel::Ref;

std::string Text(bool (IQelWlanService::*op)(char16_t*, uint32_t), IQelWlanService* s) {
  char16_t buffer[128] = {};
  if (!(s->*op)(buffer, 128)) return "<false>";
  return ceutil::ToUtf8(buffer);
}

TEST(WlanService, SignalLevelThresholds) {
  const std::pair<int, int> cases[] = {{-200, 0}, {-91, 0}, {-90, 1}, {-82, 1}, {-81, 2}, {-72, 2},
                                       {-71, 3},  {-68, 3}, {-67, 4}, {-58, 4}, {-57, 5}, {-1, 5}};
  for (const auto& [dbm, level] : cases) EXPECT_EQ(qel::SignalLevelOf(dbm), level) << dbm;
  qeltest::TestTerminal terminal;
  auto s = Ref<IQelWlanService>::Adopt(
      static_cast<IQelWlanService*>(static_cast<qel::CQelWlanService*>(qel::CreateWlanService())));
  terminal.Set("network.adapter.WLAGS46B1.wlan.rssi", -58);
  EXPECT_EQ(s->GetSignalLevel(), 4);
  terminal.Set("network.adapter.WLAGS46B1.wlan.rssi", 0);  // no reading: unknown
  EXPECT_EQ(s->GetSignalLevel(), -1);
}

TEST(WlanService, ConnectedAndDisconnected) {
  qeltest::TestTerminal terminal;
  auto s = Ref<IQelWlanService>::Adopt(
      static_cast<IQelWlanService*>(static_cast<qel::CQelWlanService*>(qel::CreateWlanService())));
  EXPECT_EQ(ceutil::ToUtf8(s->GetAdapterName()), "WLAGS46B1");
  EXPECT_EQ(Text(&IQelWlanService::GetSsid, s.get()), "Warehouse");
  EXPECT_EQ(Text(&IQelWlanService::GetBssid, s.get()), "00:0B:86:A1:B2:C3");
  int16_t dbm = 0;
  ASSERT_TRUE(s->GetRssi(&dbm));
  EXPECT_EQ(dbm, -62);
  terminal.Set("network.adapter.WLAGS46B1.wlan.connected", false);
  bool connected = true;
  ASSERT_TRUE(s->IsConnected(&connected));
  EXPECT_FALSE(connected);
  ASSERT_TRUE(s->GetRssi(&dbm));
  EXPECT_EQ(dbm, -200);
  EXPECT_EQ(s->GetSignalLevel(), 0);
  EXPECT_EQ(Text(&IQelWlanService::GetSsid, s.get()), "");
  EXPECT_EQ(Text(&IQelWlanService::GetBssid, s.get()), "00:00:00:00:00:00");
  EXPECT_TRUE(s->Close());
  EXPECT_TRUE(s->Open());  // opens again
}

TEST(WlanService, FindsTheAdapterByDriverOrByName) {
  qeltest::TestTerminal terminal;
  auto make = [] {
    return Ref<IQelWlanService>::Adopt(
        static_cast<IQelWlanService*>(static_cast<qel::CQelWlanService*>(qel::CreateWlanService())));
  };
  // The driver does not answer the encryption query: the name decides (WLAGS is in the table).
  terminal.Set("network.adapter.WLAGS46B1.wlan.answers_encryption_query", false);
  EXPECT_EQ(ceutil::ToUtf8(make()->GetAdapterName()), "WLAGS46B1");
  terminal.Set("network.adapters", ce::sim::Json::array({"E1000CE1"}));
  auto none = make();
  EXPECT_EQ(none->GetAdapterName(), nullptr);
  EXPECT_FALSE(none->Open());
  char16_t buffer[8];
  EXPECT_FALSE(none->GetSsid(buffer, 8));
  int16_t dbm = 0;
  EXPECT_FALSE(none->GetRssi(&dbm));
  EXPECT_EQ(none->GetSignalLevel(), -1);
}

}  // namespace

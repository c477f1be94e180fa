// The network properties and the connection type on scripted adapter lists,
// and the resolver's fall-back to the registry's host table.
#include "terminal/network_properties.h"

#include <gtest/gtest.h>

#include <string>

#include "ce/registry.h"
#include "ceutil/text.h"
#include "qel/counted_text.h"
#include "qelcommon/value.h"
#include "terminal/connection_type.h"
#include "test_terminal.h"

namespace {

using ce::sim::Json;

Json Adapter(int type, const char* ip, const char* mac = "00-1A-2B-3C-4D-5E") {
  return {{"type", type}, {"ip", ip}, {"mask", "255.255.255.0"}, {"gateway", "10.0.0.1"}, {"mac", mac}};
}

// The default terminal with the given adapters, in list order.
Json WithAdapters(const std::vector<std::pair<std::string, Json>>& adapters) {
  Json p = *ce::sim::BuiltinProfile("thor-vm1");
  Json& net = p["hardware"]["network"];
  net["adapters"] = Json::array();
  net["adapter"] = Json::object();
  for (const auto& [name, a] : adapters) {
    net["adapters"].push_back(name);
    net["adapter"][name] = a;
  }
  return p;
}

std::string Name(uint32_t code) {
  IQelText* t = qel::ConnectionTypeName(code);
  if (!t) return "<null>";
  const std::string s = ceutil::ToUtf8({t->Chars(), t->Length()});
  ReleaseText(t);
  return s;
}

TEST(ConnectionType, TheSmallestCodeOfAllAdaptersWins) {
  const struct {
    const char* what;
    std::vector<std::pair<std::string, Json>> adapters;
    const char16_t* wlan;
    const char* expected;
  } cases[] = {
      {"wlan_and_usb_link",
       {{"WLAN1", Adapter(71, "10.0.0.2")}, {"USB Cable:", Adapter(6, "169.254.2.1")}},
       u"WLAN1",
       "ActiveSync"},
      {"ethernet_beats_wireless",
       {{"WLAN1", Adapter(71, "10.0.0.2")}, {"E1000", Adapter(6, "10.0.1.2")}},
       u"WLAN1",
       "Ethernet"},
      {"wlan_by_name_not_type", {{"ODDNAME", Adapter(23, "10.0.0.2")}}, u"ODDNAME", "Wireless"},
      {"type_80211_without_service", {{"X", Adapter(71, "10.0.0.2")}}, nullptr, "Wireless"},
      {"other_type", {{"PPP1", Adapter(23, "10.0.0.2")}}, nullptr, "None"},
      {"no_address_anywhere",
       {{"WLAN1", Adapter(71, "0.0.0.0")}, {"COM1", Adapter(6, "0.0.0.0")}},
       u"WLAN1",
       "None"},
      {"com_prefix", {{"com3 serial", Adapter(1, "192.168.55.101")}}, nullptr, "ActiveSync"},
      {"serial_on_usb", {{"serial on usb", Adapter(1, "192.168.55.101")}}, nullptr, "ActiveSync"},
      {"usb_exactly", {{"USB", Adapter(1, "192.168.55.101")}}, nullptr, "ActiveSync"},
      {"usb_prefix_only_is_not", {{"USBX", Adapter(1, "192.168.55.101")}}, nullptr, "None"},
      {"no_adapters", {}, nullptr, "None"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    qeltest::TestTerminal terminal(WithAdapters(c.adapters));
    EXPECT_EQ(Name(qel::ConnectionType(c.wlan)), c.expected);
  }
  EXPECT_EQ(Name(8), "<null>");
}

std::pair<bool, std::string> Read(bool (*getter)(IQelValue*, IQelService*)) {
  CQelValue value;
  value.SetInt32(7);
  const bool ok = getter(&value, nullptr);
  IQelText* text = nullptr;
  std::string s;
  if (value.GetString(&text) && text) s = ceutil::ToUtf8({text->Chars(), text->Length()});
  return {ok, s};
}

TEST(NetworkProperties, AdapterConfigurations) {
  {
    qeltest::TestTerminal terminal(WithAdapters({{"ONLY", Adapter(6, "0.0.0.0")}}));
    EXPECT_EQ(Read(qel::GetConnection), std::make_pair(true, std::string("N")));
    EXPECT_FALSE(Read(qel::GetAdaptersIpConfig).first);
  }
  {
    // Two configured adapters and a skipped one after them: the ";" stays.
    qeltest::TestTerminal terminal(WithAdapters({{"E1", Adapter(6, "10.0.0.5")},
                                                 {"W1", Adapter(71, "10.0.1.6", "00-0A-0B-0C-0D-0E")},
                                                 {"OFF", Adapter(6, "0.0.0.0")}}));
    EXPECT_EQ(Read(qel::GetAdaptersIpConfig).second,
              "E1,10.0.0.5,255.255.255.0,10.0.0.1,00-1A-2B-3C-4D-5E;W1,10.0.1.6,255.255.255.0,10.0.0.1,00-0A-"
              "0B-0C-0D-0E;");
    EXPECT_EQ(Read(qel::GetConnection).second, "Y");
  }
  {
    qeltest::TestTerminal terminal(WithAdapters({}));
    EXPECT_FALSE(Read(qel::GetConnection).first);  // the size query does not answer 111
  }
}

TEST(ResolveHost, FallsBackToTheHostTable) {
  qeltest::TestTerminal terminal;  // knows ThorVM1; host table holds qelserver = 10.0.0.5
  auto resolve = [](const char16_t* node) {
    ce::ADDRINFOA hints{};
    hints.ai_family = AF_INET;
    ce::ADDRINFOA* list = nullptr;
    const int error = qel::ResolveHost(node, nullptr, &hints, &list);
    std::string out = std::to_string(error);
    for (const ce::ADDRINFOA* a = list; a; a = a->ai_next)
      out += std::string(" ") + ce::inet_ntoa(reinterpret_cast<const ce::SOCKADDR_IN*>(a->ai_addr)->sin_addr);
    ce::freeaddrinfo(list);
    return out;
  };
  EXPECT_EQ(resolve(u""), "0 10.0.0.23");
  EXPECT_EQ(resolve(u"qelserver"), "0 10.0.0.5");
  EXPECT_EQ(resolve(u"QELSERVER"), "0 10.0.0.5");  // key names ignore case
  EXPECT_EQ(resolve(u"nowhere"), "10014");
  // The fall-back belongs to error 10014 only.
  terminal.Set("network.resolver_error", 11001);
  EXPECT_EQ(resolve(u"qelserver"), "11001");
  EXPECT_EQ(Read(qel::GetIpV4), std::make_pair(true, std::string("10.0.0.23")));
  terminal.Set("network.host_name", "nowhere");
  EXPECT_FALSE(Read(qel::GetIpV4).first);
}

}  // namespace

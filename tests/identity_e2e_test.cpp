// Each built-in terminal's identity as qelhost shows it: the three exports
// and the identity and network properties, from a fresh terminal per profile.
#include <gtest/gtest.h>

#include <map>
#include <nlohmann/json.hpp>
#include <string>

#include "host_run.h"
#include "test_terminal.h"

namespace {

using nlohmann::json;

struct Identity {
  const char* profile;
  const char* esn;  // null: GetESN returns false
  const char* usn;
  const char* platform;
  std::map<std::string, const char*> props;  // null: the getter fails
};

const Identity kIdentities[] = {
    {"thor-vm1",
     "VM1C12345678",
     "3F2A9C41D07E55B18C6342AF0B9D1E7724C58A10",
     "HON_THORVM_CE60",
     {{"SYS_MANUFACTURER", "UNK"},
      {"SYS_DEVICE_MODEL", "IA32"},
      {"SYS_FIRMWARE_VER", "1.36.2.0"},
      {"QEL_SSN", "381571234293192672"},
      {"QEL_VER_CLIENT", "4.2.0.31"},
      {"QEL_VER_ADMIN", "4.2.0.12"},
      {"NET_CONNECTION_TYPE", "Wireless"},
      {"NET_CONNECTION_LEVEL", "4"},
      {"BLUETOOTH_MAC", "00-16-A4-5B-3C-2D"},
      {"SYS_DEVICE_DATE", nullptr}}},
    {"lxe-mx7",
     "MX7A00981234",
     "917A0C5EB3D2684FA1C0E93B77D4120F",
     "LXE_MX7_CE50",
     {{"SYS_MANUFACTURER", "LXE"},
      {"SYS_OS_VER", "CE50"},
      {"BLUETOOTH_MAC", nullptr},
      {"WIFI_SSID", "Dock7"}}},
    {"intermec-ck3",
     nullptr,
     "CK3-0815-",
     "IMC_CK3_WM6",
     {{"SYS_MANUFACTURER", "IMC"},
      {"SYS_DEVICE_MODEL", "Intermec CK3"},
      {"SYS_OS_TYPE", "PocketPC"},
      {"WIFI_RSSI_PERCENT", "20"}}},
    {"intermec-cn51",
     nullptr,
     "7D1E44C09A2B3F58E61C0D2A94B7F3308C1E5A62",
     "IMC_CN51_WM6",
     {{"SYS_DEVICE_MODEL", "Intermec CN51"}, {"SYS_FIRMWARE_VER", nullptr}}},
    {"mc9090",
     nullptr,
     nullptr,
     "MOT_MC9090_CE50",
     {{"SYS_MANUFACTURER", "MOT"},
      {"QEL_SSN", nullptr},
      {"NET_CONNECTION_TYPE", "ActiveSync"},
      {"NET_CONNECTION_LEVEL", nullptr},
      {"WIFI_RSSI_PERCENT", "0"}}},
    {"wt4090",
     nullptr,
     "7E5D1C9B11003322445566778899AABB",
     "MOT_WT4090VOW_CE50",
     {{"WIFI_RSSI_DBM", "-200"},
      {"WIFI_RSSI_PERCENT", "0"},
      {"WIFI_SSID", ""},
      {"WIFI_BSSID", "00:00:00:00:00:00"},
      {"NET_CONNECTION", "N"},
      {"NET_CONNECTION_TYPE", "None"},
      {"NET_ADAPTERS_IPCONFIG", nullptr}}},
    {"memor",
     nullptr,
     "MEMOR0917-",
     "DTL_MEMOR_CE50",
     {{"SYS_MANUFACTURER", "DTL"}, {"SYS_DEVICE_MODEL", "Datalogic Memor"}}},
    {"pa692",
     nullptr,
     "0123456789ABCDEF0123456789ABCDEF01234567",
     "UTC_PA692_WM6",
     {{"SYS_MANUFACTURER", "UNI"}, {"SYS_DEVICE_MODEL", "PA692-GS"}, {"QEL_SSN", "873319786149384644"}}},
    {"hon-99ex",
     nullptr,
     "55AA33CC0F1E2D3C4B5A69788796A5B4C3D2E1F0",
     "HHP_99EX_WM6",
     {{"SYS_MANUFACTURER", "HON"}, {"SYS_DEVICE_MODEL", "Honeywell 99EX"}, {"SYS_OS_VER", "WM6"}}},
    {"wm6-mc75",
     nullptr,
     "A1B2C3D4E5F60718293A4B5C6D7E8F9001122334",
     "MOT_MC75_WM6",
     {{"SYS_OS_TYPE", "PocketPC"}, {"SYS_OS_VER", "WM6"}, {"NET_IP_V4", "192.168.0.20"}}},
    // The model from the Datalogic device library's number (7), not the OEM text.
    {"falcon-x3",
     nullptr,
     "6A1F03C2D94E7B58A0C4",
     "DTL_FALCONX3_CE60",
     {{"SYS_DEVICE_MODEL", "Datalogic FalconX3"},
      {"SYS_OS_TYPE", "WindowsCE"},
      {"BLUETOOTH_MAC", "00-0E-9F-21-43-65"}}},
    {"mc9190",
     nullptr,
     "MC9190-G-",
     "MOT_MC9190_CE60",
     {{"SYS_MANUFACTURER", "MOT"}, {"NET_CONNECTION_TYPE", "ActiveSync"}, {"WIFI_SSID", "Yard"}}},
    {"omnii-xt10",
     nullptr,
     "1C77E4A09B3D52F8610E",
     "PSI_7545XA_CE60",
     {{"SYS_MANUFACTURER", "PSI"}, {"SYS_DEVICE_MODEL", "Psion 7545XA"}, {"NET_IP_V4", "10.1.4.22"}}},
};

TEST(Identity, EveryBuiltInTerminalReportsItsOwn) {
  qeltest::TempDir scratch;
  for (const Identity& want : kIdentities) {
    SCOPED_TRACE(want.profile);
    const std::string dir = (scratch.path() / want.profile).string();
    const qeltest::HostRun id = qeltest::RunHost(
        {"--terminal", dir, "--profile", want.profile, "identity", "--json"}, scratch.path());
    EXPECT_EQ(id.status, want.esn && want.usn ? 0 : 1) << id.err;
    const json exports = json::parse(id.out, nullptr, false);
    ASSERT_TRUE(exports.is_array() && exports.size() == 3) << id.out;
    const char* expected[] = {want.esn, want.usn, want.platform};
    const char* names[] = {"GetESN", "GetUSN", "GetQELPlatform"};
    for (int i = 0; i < 3; ++i) {
      const json row = expected[i] ? json{{"export", names[i]}, {"ok", true}, {"text", expected[i]}}
                                   : json{{"export", names[i]}, {"ok", false}};
      EXPECT_EQ(exports[i], row);
    }
    const qeltest::HostRun props = qeltest::RunHost({"--terminal", dir, "props", "--json"}, scratch.path());
    ASSERT_EQ(props.status, 0) << props.err;
    std::map<std::string, json> byName;
    for (const json& p : json::parse(props.out)) byName[p["name"]] = p;
    EXPECT_EQ(byName["QEL_PLATFORM"].value("text", ""), want.platform);
    EXPECT_EQ(byName["SYS_USN"].value("text", "<failed>"), want.usn ? want.usn : "<failed>");
    for (const auto& [name, text] : want.props) {
      const json& p = byName[name];
      EXPECT_EQ(p.value("ok", false), text != nullptr) << name << ": " << p.dump();
      if (text) {
        EXPECT_EQ(p.value("text", ""), text) << name;
      }
    }
  }
}

TEST(Identity, WritesToTheIdentityNameReachTheRegistry) {
  qeltest::TestTerminal terminal;
  auto host = [&](std::vector<std::string> args) {
    args.insert(args.begin(), {"--terminal", terminal.dir().string()});
    return qeltest::RunHost(args, terminal.root());
  };
  EXPECT_EQ(host({"prop", "set", "SYS_ID_NAME", "Forklift7"}).status, 0);
  const qeltest::HostRun r = host({"prop", "get", "SYS_ID_NAME", "--json"});
  EXPECT_EQ(json::parse(r.out),
            (json{{"name", "SYS_ID_NAME"}, {"ok", true}, {"kind", "String"}, {"text", "Forklift7"}}));
  EXPECT_EQ(host({"prop", "set", "SYS_MANUFACTURER", "x"}).status, 2);
}

// Names the profile writes in UTF-8 reach the 8-bit calls in the terminal's
// code page, so they read back as written; an adapter added by hand included.
TEST(Identity, WlanAndAdapterNamesBeyondAsciiReadBackAsWritten) {
  qeltest::TestTerminal terminal;
  auto host = [&](std::vector<std::string> args) {
    args.insert(args.begin(), {"--terminal", terminal.dir().string()});
    return qeltest::RunHost(args, terminal.root());
  };
  const std::string adapter = "network.adapter.Wé1.";
  const std::vector<std::string> sets[] = {
      {"network.adapters", R"(["Wé1"])"},   {adapter + "ip", "10.0.0.5"},
      {adapter + "mask", "255.255.255.0"},  {adapter + "mac", "00-1A-2B-3C-4D-5E"},
      {adapter + "wlan.connected", "true"}, {adapter + "wlan.answers_encryption_query", "true"},
      {adapter + "wlan.ssid", "Café€"},
  };
  for (const auto& set : sets) {
    const qeltest::HostRun r = host({"terminal", "set", set[0], set[1]});
    ASSERT_EQ(r.status, 0) << set[0] << ": " << r.err;
  }
  const std::pair<const char*, const char*> want[] = {
      {"WIFI_SSID", "Café€"},
      {"NET_WLAN_IPCONFIG", "Wé1,10.0.0.5,255.255.255.0,,00-1A-2B-3C-4D-5E"},
      {"NET_ADAPTERS_IPCONFIG", "Wé1,10.0.0.5,255.255.255.0,,00-1A-2B-3C-4D-5E"},
  };
  for (const auto& [name, text] : want) {
    const qeltest::HostRun r = host({"prop", "get", name, "--json"});
    EXPECT_EQ(json::parse(r.out, nullptr, false).value("text", "<failed>"), text)
        << name << ": " << r.out << r.err;
  }
}

}  // namespace

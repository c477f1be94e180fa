// Hardware state shared through hardware.json: typed changes, seen by every
// opener, none lost between writers.
#include "hardware_state.h"

#include <gtest/gtest.h>

#include <fstream>
#include <thread>

#include "ce/sim/control.h"
#include "hardware.h"
#include "terminal.h"
#include "test_terminal.h"

namespace {

namespace fs = std::filesystem;
using ce::sim::Json;

// A field of a terminal's hardware as that terminal reads it now; null when absent.
nlohmann::json FieldOf(ce::sim::Terminal& terminal, const std::string& path) {
  nlohmann::json out;
  terminal.ReadHardware([&](const nlohmann::json& state) {
    if (const auto* field = ce::sim::FindField(state, path)) out = *field;
  });
  return out;
}

TEST(Hardware, SetKeepsTypesAndIsSeenByAnotherOpener) {
  qeltest::TestTerminal t("thor-vm1");
  std::string error;
  auto other = ce::sim::Terminal::Open(t.dir(), &error);  // as another process would see it
  ASSERT_TRUE(other) << error;
  EXPECT_EQ(FieldOf(*other, "power.battery_life_percent"), 100);

  ASSERT_TRUE(ce::sim::SetHardware("power.battery_life_percent", 255, &error)) << error;
  EXPECT_EQ(FieldOf(*other, "power.battery_life_percent"), 255);

  struct Bad {
    const char* key;
    Json value;
    const char* mentions;
  };
  const Bad bad[] = {
      {"power.no_such_field", 1, "no field"},
      {"power.battery_life_percent", "full", "0 to 255"},
      {"power.battery_life_percent", 256, "0 to 255"},
      {"power.battery_life_percent", -1, "0 to 255"},
      {"power.battery_life_percent", 3.7, "0 to 255"},
      {"memory.total_phys", 4294967296u, "0 to 4294967295"},
      {"oem_info", 5, "a text"},
      {"oem_info", "\xff\xfe", "UTF-8"},
      {"kernel.named_events", Json::array({1}), "list of texts"},
      {"power", Json::object(), "group of fields"},
      {"storage.mounted.99999999999999999999", "x", "no field"},
      {"power..x", 1, "not a dotted key"},
      {"", 1, "not a dotted key"},
  };
  for (const auto& b : bad) {
    SCOPED_TRACE(b.key);
    EXPECT_FALSE(ce::sim::SetHardware(b.key, b.value, &error));
    EXPECT_NE(error.find(b.mentions), std::string::npos) << error;
  }
  EXPECT_EQ(FieldOf(*other, "power.battery_life_percent"), 255);
}

// The simulation writes fields by their declarations, never by a path it
// spells out: each type reaches the state file and reads back, a "*" takes the
// member's name, and a value the field's form refuses changes nothing.
TEST(Hardware, TypedWritesReadBackAndKeepTheFieldsRules) {
  qeltest::TestTerminal t("thor-vm1");
  namespace hw = ce::sim::hw;
  auto other = ce::sim::Terminal::Open(t.dir(), nullptr);  // another process's view
  std::string error;
  EXPECT_TRUE(hw::Write(hw::kDisplayOrientation, 4u, &error)) << error;
  EXPECT_TRUE(hw::Write(hw::kOemInfo, std::string("Yard Truck"), &error)) << error;
  EXPECT_TRUE(hw::Write(hw::kPowerDriverOk, false, &error)) << error;
  EXPECT_TRUE(hw::Write(hw::kMountedStores, {"Storage Card"}, &error)) << error;
  EXPECT_TRUE(hw::Write(hw::kVolumeTotal, uint64_t(1) << 40, &error, "Storage Card")) << error;
  EXPECT_TRUE(hw::Write(hw::kBatteryCurrent, -250, &error)) << error;
  EXPECT_EQ(hw::Read(hw::kDisplayOrientation), 4u);
  EXPECT_EQ(hw::Read(hw::kOemInfo), "Yard Truck");
  EXPECT_FALSE(hw::Read(hw::kPowerDriverOk));
  EXPECT_EQ(hw::Read(hw::kMountedStores), std::vector<std::string>{"Storage Card"});
  EXPECT_EQ(hw::Read(hw::kVolumeTotal, "Storage Card"), uint64_t(1) << 40);
  EXPECT_EQ(hw::Read(hw::kBatteryCurrent), -250);
  EXPECT_EQ(FieldOf(*other, "storage.volumes.Storage Card.total"), uint64_t(1) << 40);
  EXPECT_EQ(FieldOf(*other, "power.battery_current"), -250);

  const uint32_t reboots = hw::Read(hw::kHalReboots);
  EXPECT_TRUE(hw::Increment(hw::kHalReboots, &error)) << error;
  EXPECT_TRUE(hw::Increment(hw::kHalReboots, &error)) << error;
  EXPECT_EQ(hw::Read(hw::kHalReboots), reboots + 2);

  EXPECT_FALSE(hw::Write(hw::kBluetoothAddress, std::string("zz"), &error));
  EXPECT_NE(error.find("bluetooth.address"), std::string::npos) << error;
  EXPECT_EQ(FieldOf(*other, "bluetooth.address"), Json(hw::Read(hw::kBluetoothAddress)));

  qeltest::NoTerminal none;
  EXPECT_FALSE(hw::Write(hw::kDisplayOrientation, 0u, &error));
  EXPECT_NE(error.find("no terminal"), std::string::npos) << error;
  EXPECT_FALSE(hw::Increment(hw::kHalReboots, &error));
}

// Several fields go as one change: all are seen together, or, when one breaks
// its rule, none is written.
TEST(Hardware, ChangesAreMadeWholeOrNotAtAll) {
  qeltest::TestTerminal t("thor-vm1");
  namespace hw = ce::sim::hw;
  auto other = ce::sim::Terminal::Open(t.dir(), nullptr);
  std::string error;
  EXPECT_TRUE(hw::Changes().Set(hw::kLedMode, 2u, "0").Set(hw::kLedOnTime, 500000, "0").Apply(&error))
      << error;
  EXPECT_EQ(FieldOf(*other, "led.device.0"), (Json{{"mode", 2}, {"on_time", 500000}}));

  const struct {
    hw::Changes changes;
    const char* says;
  } refused[] = {
      {hw::Changes().Set(hw::kLedMode, 1u, "0").Set(hw::kLedOffTime, -1, "0"), "led.device.0.off_time"},
      {hw::Changes().Set(hw::kLedOnTime, 7, "0").Set(hw::kLedMode, 3u, "0"), "led.device.0.mode"},
      {hw::Changes().Set(hw::kLedOnTime, 7, "0").Set(hw::kOemInfo, std::string("\xff")), "oem_info"},
  };
  for (const auto& r : refused) {
    EXPECT_FALSE(r.changes.Apply(&error));
    EXPECT_NE(error.find(r.says), std::string::npos) << error;
    EXPECT_EQ(FieldOf(*other, "led.device.0"), (Json{{"mode", 2}, {"on_time", 500000}})) << r.says;
  }
}

// Identifiers, hardware and network addresses have one written form each, so
// that what the simulation reads back from them is never a guess.
TEST(Hardware, AddressesAndIdentifiersKeepTheirForm) {
  qeltest::TestTerminal t("thor-vm1");
  const std::string wlan = "network.adapter.WLAGS46B1.";
  const struct {
    std::string key;
    Json value;
    const char* form;  // in the message; null: accepted
  } rows[] = {
      {"identity.unique_id", "0a1B2c", nullptr},
      {"identity.unique_id", "", nullptr},
      {"identity.unique_id", "ZZ", "hexadecimal digits"},
      {"identity.unique_id", "ABC", "hexadecimal digits"},
      {"identity.unique_id", "0x12", "hexadecimal digits"},
      {"identity.unique_id", "12 34", "hexadecimal digits"},
      {"hal.uuid", "ZZZZ", "hexadecimal digits"},
      {"hal.device_id.platform_id", "XYZ", "hexadecimal digits"},
      {"hal.device_id.preset_id", 12, "hexadecimal digits"},
      {wlan + "mac", "00:1a:2b:3c:4d:5e", nullptr},
      {wlan + "mac", "ZZ-11-22-33-44-55", "six hexadecimal bytes"},
      {wlan + "mac", "00-11:22-33-44-55", "six hexadecimal bytes"},
      {wlan + "wlan.bssid", "", nullptr},
      {wlan + "wlan.bssid", "zz", "six hexadecimal bytes"},
      {wlan + "wlan.bssid", "00-11", "six hexadecimal bytes"},
      {wlan + "wlan.bssid", "00-11-22-33-44-55-66-77", "six hexadecimal bytes"},
      {wlan + "wlan.bssid", "001122334455", "six hexadecimal bytes"},
      {"bluetooth.address", "zz", "six hexadecimal bytes"},
      {wlan + "ip", "192.168.1.2", nullptr},
      {wlan + "ip", "abc", "IPv4 address"},
      {wlan + "ip", "999.1.1.1", "IPv4 address"},
      {wlan + "ip", "", "IPv4 address"},
      {wlan + "ip", "10.0.0", "IPv4 address"},
      {wlan + "mask", "255.255.255.0 ", "IPv4 address"},
      {wlan + "gateway", "", nullptr},
      {wlan + "gateway", "gw", "IPv4 address"},
      {"network.resolver.ThorVM1", Json::array({"10.0.0.1", "10.0.0.2"}), nullptr},
      {"network.resolver.ThorVM1", Json::array({"10.0.0.1", "host"}), "list of IPv4 addresses"},
      {"network.resolver.ThorVM1", "10.0.0.1", "list of IPv4 addresses"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.key + " " + row.value.dump());
    std::string error;
    EXPECT_EQ(ce::sim::SetHardware(row.key, row.value, &error), row.form == nullptr) << error;
    if (row.form) {
      EXPECT_NE(error.find("'" + row.key + "' must be"), std::string::npos) << error;
      EXPECT_NE(error.find(row.form), std::string::npos) << error;
      EXPECT_NE(FieldOf(*ce::sim::Current(), row.key), row.value);
    }
  }
  // A hand edit is held to the same form when the terminal opens.
  Json hw = Json::parse(std::ifstream(t.dir() / "hardware.json"));
  hw["network"]["adapter"]["E1000CE1"]["mac"] = "00-30-8C-11-22";
  std::ofstream(t.dir() / "hardware.json") << hw.dump();
  std::string error;
  EXPECT_FALSE(ce::sim::Terminal::Open(t.dir(), &error));
  EXPECT_NE(error.find("\"network.adapter.E1000CE1.mac\" must be six hexadecimal bytes"), std::string::npos)
      << error;
}

// A field the list declares may be set on a terminal whose state lacks it
// (an older profile's), groups above it included; undeclared ones may not.
TEST(Hardware, SetMakesADeclaredFieldTheStateLacks) {
  Json profile = qeltest::Profile();
  profile["hardware"].erase("identity");
  profile["hardware"].erase("bluetooth");
  profile["hardware"]["network"]["adapter"]["E1000CE1"].erase("mac");
  qeltest::TestTerminal t(profile);
  const struct {
    const char* key;
    Json value;
    bool made;
  } rows[] = {
      {"identity.unique_id", "0A0B", true},
      {"network.adapter.E1000CE1.mac", "00-30-8C-11-22-33", true},
      {"network.adapter.NEW1.wlan.ssid", "Yard", true},
      {"identity.serial", "x", false},
      {"memory.cache", 5, false},  // typed as its group's members, but no declared field
      {"network.adapter.E1000CE1.ip.extra", "1.2.3.4", false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.key);
    std::string error;
    EXPECT_EQ(ce::sim::SetHardware(row.key, row.value, &error), row.made) << error;
    EXPECT_EQ(FieldOf(*ce::sim::Current(), row.key), row.made ? row.value : Json()) << error;
    if (!row.made) {
      EXPECT_NE(error.find("no field '" + std::string(row.key) + "'"), std::string::npos) << error;
    }
  }
  // A value that does not fit is still refused, and no group is made for it.
  std::string error;
  EXPECT_FALSE(ce::sim::SetHardware("bluetooth.address", "zz", &error));
  EXPECT_EQ(FieldOf(*ce::sim::Current(), "bluetooth"), Json());
}

// A change this process did not make (another process's, or a hand edit) is
// seen by every read that starts the recheck interval after it.
TEST(Hardware, AChangeFromOutsideIsSeenAfterTheRecheckInterval) {
  qeltest::TestTerminal t("thor-vm1");
  std::string error;
  auto open = ce::sim::Terminal::Open(t.dir(), &error);
  ASSERT_TRUE(open) << error;
  for (const int percent : {7, 8, 9}) {
    EXPECT_NE(FieldOf(*open, "power.battery_life_percent"), percent);
    Json hw = Json::parse(std::ifstream(t.dir() / "hardware.json"));
    hw["power"]["battery_life_percent"] = percent;
    const fs::path next = t.dir() / "edited.json";
    std::ofstream(next) << hw.dump();
    fs::rename(next, t.dir() / "hardware.json");  // as a writer replaces it
    std::this_thread::sleep_for(ce::sim::kRecheck + std::chrono::milliseconds(1));
    EXPECT_EQ(FieldOf(*open, "power.battery_life_percent"), percent);
  }
}

TEST(Hardware, ConcurrentWritersLoseNoUpdate) {
  qeltest::TestTerminal t("thor-vm1");
  auto writer = [](const char* key) {
    for (uint32_t i = 1; i <= 25; ++i) {
      std::string error;
      ASSERT_TRUE(ce::sim::SetHardware(key, i, &error)) << error;
    }
  };
  auto other = ce::sim::Terminal::Open(t.dir(), nullptr);  // a second opener writes too, as another process
  std::thread a(writer, "memory.memory_load");
  std::thread b([&] {
    for (uint32_t i = 1; i <= 25; ++i)
      ASSERT_TRUE(other->set_hardware("power.battery_voltage", 1000 + i, nullptr));
  });
  a.join();
  b.join();
  EXPECT_EQ(FieldOf(*other, "memory.memory_load"), 25);
  EXPECT_EQ(FieldOf(*other, "power.battery_voltage"), 1025);
  for (const auto& e : fs::directory_iterator(t.dir()))
    EXPECT_EQ(e.path().filename().string().find("hardware.json."), std::string::npos)
        << e.path();  // no temp left
}

}  // namespace

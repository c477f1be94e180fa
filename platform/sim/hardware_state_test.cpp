// Hardware state shared through hardware.json: typed changes, seen by every
// opener, none lost between writers.
#include "hardware_state.h"

#include <gtest/gtest.h>

#include <fstream>
#include <thread>

#include "ce/sim/control.h"
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
    std::this_thread::sleep_for(ce::sim::Terminal::kRecheck + std::chrono::milliseconds(1));
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
    for (uint32_t i = 1; i <= 25; ++i) ASSERT_TRUE(other->set_hardware("power.battery_voltage", 1000 + i, nullptr));
  });
  a.join();
  b.join();
  EXPECT_EQ(FieldOf(*other, "memory.memory_load"), 25);
  EXPECT_EQ(FieldOf(*other, "power.battery_voltage"), 1025);
  for (const auto& e : fs::directory_iterator(t.dir()))
    EXPECT_EQ(e.path().filename().string().find("hardware.json."), std::string::npos) << e.path();  // no temp left
}

}  // namespace

// The LED service's records as the terminal's LED driver keeps them.
#include "devices/led_service.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>

#include "qelcommon/ref.h"
#include "test_terminal.h"

namespace {

using qel::CQelLedService;
using qel::Ref;

// "mode total on off meta_on meta_off" of LED n as the driver keeps it.
std::string Kept(const qeltest::TestTerminal& t, int n) {
  const auto led = t.Hardware("led.device." + std::to_string(n));
  if (!led.is_object()) return "none";
  std::string out;
  for (const char* f : {"mode", "total_cycle_time", "on_time", "off_time", "meta_cycle_on", "meta_cycle_off"})
    out += (out.empty() ? "" : " ") + led.value(f, ce::sim::Json(0)).dump();
  return out;
}

TEST(LedService, SendsOneSettingsRecordPerOperation) {
  qeltest::TestTerminal terminal;
  terminal.Set("led.count", 2);
  auto leds = Ref<CQelLedService>::Adopt(new CQelLedService);
  const struct {
    std::function<bool(CQelLedService&)> op;
    int led;
    const char* kept;
  } cases[] = {
      {[](CQelLedService& s) { return s.LedOn(1); }, 1, "1 0 0 0 0 0"},
      {[](CQelLedService& s) { return s.LedBlink(0, 500, 250); }, 0, "2 750000 500000 250000 1 0"},
      {[](CQelLedService& s) { return s.LedBlinkCycles(1, 100, 300, 4, 2); }, 1,
       "2 400000 100000 300000 4 2"},
      {[](CQelLedService& s) { return s.LedOff(0); }, 0, "0 0 0 0 0 0"},
  };
  for (const auto& c : cases) {
    EXPECT_TRUE(c.op(*leds.get())) << c.kept;
    EXPECT_EQ(Kept(terminal, c.led), c.kept);
  }
  // The driver refuses an LED it does not have, and keeps nothing for it.
  EXPECT_FALSE(leds->LedOn(2));
  EXPECT_EQ(Kept(terminal, 2), "none");

  // Every change is a line of the LED history.
  const auto folder = terminal.dir() / "outputs" / "led";
  ASSERT_TRUE(std::filesystem::is_directory(folder));
  size_t lines = 0;
  for (const auto& e : std::filesystem::directory_iterator(folder)) {
    std::ifstream in(e.path());
    lines += size_t(std::count(std::istreambuf_iterator<char>(in), {}, '\n'));
  }
  EXPECT_EQ(lines, std::size(cases));
}

TEST(LedService, WithoutTheCoreLibrarysExportEveryOperationFails) {
  qeltest::TestTerminal terminal;
  auto modules = terminal.Hardware("modules");
  modules.erase(std::remove_if(modules.begin(), modules.end(),
                               [](const ce::sim::Json& m) {
                                 std::string name = m.get<std::string>();
                                 std::transform(name.begin(), name.end(), name.begin(), ::tolower);
                                 return name.find("coredll") != std::string::npos;
                               }),
                modules.end());
  terminal.Set("modules", modules);
  auto leds = Ref<CQelLedService>::Adopt(new CQelLedService);
  EXPECT_FALSE(leds->LedOn(0));
  EXPECT_FALSE(leds->LedOff(0));
  EXPECT_FALSE(leds->LedBlink(0, 1, 1));
  EXPECT_FALSE(leds->LedBlinkCycles(0, 1, 1, 1, 1));
  EXPECT_EQ(Kept(terminal, 0), "none");
}

}  // namespace

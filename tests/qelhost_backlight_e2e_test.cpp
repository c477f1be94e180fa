// End to end: DBL, PGT and the backlight, suspend and battery properties
// through qelhost on a fresh terminal, checked in the terminal's state.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "host_run.h"
#include "test_terminal.h"

namespace {

using ce::sim::Json;

struct Case {
  const char* what;
  std::map<std::string, Json> before;  // hardware set first
  std::vector<std::string> args;       // one qelhost run
  int status;
  const char* out;                    // a part of stdout
  std::map<std::string, Json> after;  // hardware expected afterwards
  size_t history;                     // backlight changes recorded
};

class QelHostBacklight : public ::testing::TestWithParam<Case> {
 protected:
  qeltest::HostRun Host(std::vector<std::string> args) {
    args.insert(args.begin(), {"--terminal", terminal.dir().string()});
    return qeltest::RunHost(args, terminal.root());
  }
  // Lines of the backlight's history, one per change.
  size_t History() const {
    const auto dir = terminal.dir() / "outputs" / "backlight";
    if (!std::filesystem::exists(dir)) return 0;
    size_t lines = 0;
    for (const auto& f : std::filesystem::directory_iterator(dir)) {
      std::ifstream in(f.path());
      lines += size_t(std::count(std::istreambuf_iterator<char>(in), {}, '\n'));
    }
    return lines;
  }

  qeltest::TestTerminal terminal;
};
void PrintTo(const Case& c, std::ostream* os) { *os << c.what; }

// The profile starts the backlight on, at 80 %, 60 s on AC and 30 s on
// battery, and the battery idle time-out at 300 s; each case switches it off first.
TEST_P(QelHostBacklight, ChangesTheTerminal) {
  const Case& c = GetParam();
  terminal.Set("backlight.on", false);
  for (const auto& [key, value] : c.before) terminal.Set(key, value);
  const qeltest::HostRun r = Host(c.args);
  EXPECT_EQ(r.status, c.status) << r.out << r.err;
  EXPECT_NE(r.out.find(c.out), std::string::npos) << r.out;
  for (const auto& [key, value] : c.after) EXPECT_EQ(terminal.Hardware(key), value) << key;
  EXPECT_EQ(History(), c.history);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, QelHostBacklight,
    ::testing::Values(
        Case{"DBL 30 sets both time-outs and lights",
             {},
             {"run", "DBL 30"},
             0,
             "result 0",
             {{"backlight.timeout_ac", 30}, {"backlight.timeout_battery", 30}, {"backlight.on", true}},
             3},
        Case{"DBL 0 does nothing",
             {},
             {"run", "DBL 0"},
             0,
             "result 0",
             {{"backlight.timeout_ac", 60}, {"backlight.timeout_battery", 30}, {"backlight.on", false}},
             0},
        Case{"DBL without argument lights", {}, {"run", "DBL"}, 0, "result 0", {{"backlight.on", true}}, 2},
        Case{"DBL oFf darkens",
             {{"backlight.on", true}},
             {"run", "DBL oFf"},
             0,
             "result 0",
             {{"backlight.on", false}},
             1},
        Case{"DBL dim is refused", {}, {"run", "DBL dim"}, 1, "\"argument\":1", {{"backlight.on", false}}, 0},
        Case{"DBL whose library fails still succeeds",
             {{"lxe.backlight.set_on_result", 0}},
             {"run", "DBL ON"},
             0,
             "result 0",
             {{"backlight.on", false}},
             1},  // the user activity is still reported
        Case{"PGT S sets backlight and suspend time-outs",
             {},
             {"run", "PGT S 0 0 120 0 60"},
             0,
             "result 0",
             {{"backlight.timeout_ac", 60},
              {"backlight.timeout_battery", 60},
              {"power.battery_idle_timeout", 120}},
             1},
        Case{"PGT s alone zeroes the backlight time-out only",
             {},
             {"run", "PGT s"},
             0,
             "result 0",
             {{"backlight.timeout_ac", 0},
              {"backlight.timeout_battery", 0},
              {"power.battery_idle_timeout", 300}},
             1},
        Case{"PGT g reads nothing and changes nothing",
             {},
             {"run", "PGT g 0 0 120 0 60"},
             0,
             "result 0",
             {{"backlight.timeout_ac", 60}, {"power.battery_idle_timeout", 300}},
             0},
        Case{"PGT X is refused",
             {},
             {"run", "PGT X 0 0 120"},
             1,
             "\"argument\":1",
             {{"power.battery_idle_timeout", 300}},
             0},
        Case{"SCREEN_BRIGHTNESS 3 is 60 %",
             {},
             {"prop", "set", "SCREEN_BRIGHTNESS", "3", "--kind", "UInt32"},
             0,
             "set",
             {{"backlight.brightness_percent", 60}},
             1},
        Case{"SCREEN_BRIGHTNESS reads the library's percent as a level",
             {{"backlight.brightness_percent", 50}},
             {"prop", "get", "SCREEN_BRIGHTNESS"},
             0,
             "SCREEN_BRIGHTNESS  3  (UInt32)",
             {},
             0},
        Case{"SCREEN_BRIGHTNESS fails with the library",
             {{"lxe.backlight.get_brightness_result", -1}},
             {"prop", "get", "SCREEN_BRIGHTNESS"},
             1,
             "<getter failed>",
             {},
             0},
        Case{"the AC time-out through the held backlight service",
             {},
             {"prop", "set", "SCREEN_BACKLIGHT_TIMEOUT_AC", "90", "--kind", "UInt32"},
             0,
             "set",
             {{"backlight.timeout_ac", 90}, {"backlight.timeout_battery", 30}},
             1},
        Case{"the battery time-out",
             {},
             {"prop", "get", "SCREEN_BACKLIGHT_TIMEOUT_BATT"},
             0,
             "SCREEN_BACKLIGHT_TIMEOUT_BATT  30  (UInt32)",
             {},
             0},
        Case{"the suspend time-out",
             {},
             {"prop", "set", "POWER_SUSPEND_TIMEOUT", "45", "--kind", "UInt32"},
             0,
             "set",
             {{"power.battery_idle_timeout", 45}},
             0},
        Case{"chemistry code 7 is an empty text",
             {{"power.battery_chemistry", 7}},
             {"prop", "get", "BATT_CHEM_TYPE"},
             0,
             "BATT_CHEM_TYPE    (String)",
             {},
             0},
        Case{"a short power record has no chemistry",
             {{"power.driver_ex2_bytes", 52}},
             {"prop", "get", "BATT_CHEM_TYPE"},
             1,
             "<getter failed>",
             {},
             0},
        Case{"the battery's serial number is not reported",
             {},
             {"prop", "get", "BATT_SERIAL_NUMBER"},
             1,
             "<getter failed>",
             {},
             0}));

TEST(QelHostBacklightShow, TerminalShowFollowsTheCommands) {
  qeltest::TestTerminal terminal;
  auto host = [&](std::vector<std::string> args) {
    args.insert(args.begin(), {"--terminal", terminal.dir().string()});
    return qeltest::RunHost(args, terminal.root());
  };
  ASSERT_EQ(host({"run", "PGT S 0 0 120 0 60"}).status, 0);
  ASSERT_EQ(host({"run", "DBL OFF"}).status, 0);
  const qeltest::HostRun shown = host({"terminal", "show"});
  ASSERT_EQ(shown.status, 0) << shown.err;
  for (const char* line :
       {"backlight.on = false", "backlight.brightness_percent = 80", "backlight.timeout_ac = 60",
        "backlight.timeout_battery = 60", "power.battery_idle_timeout = 120", "power.battery_chemistry = 4"})
    EXPECT_NE(shown.out.find(line), std::string::npos) << line << " in\n" << shown.out;
}

}  // namespace

// Both backlight implementations on a simulated terminal: the registry one
// against the values it finds, the vendor one against what the library reports.
#include "devices/backlight_service.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <string>

#include "ce/error.h"
#include "ce/handle.h"
#include "ce/registry.h"
#include "ce/sync.h"
#include "ceutil/text.h"
#include "qelcommon/ref.h"
#include "test_terminal.h"

namespace {

using qel::Ref;
constexpr const char16_t* kKey = u"ControlPanel\\backlight";
const char* const kBrightnessNames[] = {"BatteryBrightness", "ACBrightness", "DCBrightness", "BattBrightness",
                                        "Brightness"};

// The backlight key's DWORD values by name, as the test sets and reads them.
class BacklightKey {
 public:
  BacklightKey() {
    ce::HKEY key = nullptr;
    EXPECT_EQ(ce::RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, 0, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    key_ = ce::RegKey(key);
    for (const char* name : kBrightnessNames) ce::RegDeleteValueW(key_.get(), ceutil::FromUtf8(name).c_str());
  }
  void Set(const std::string& name, ce::DWORD v) const {
    ce::RegSetValueExW(key_.get(), ceutil::FromUtf8(name).c_str(), 0, REG_DWORD,
                       reinterpret_cast<const ce::BYTE*>(&v), sizeof v);
  }
  void Remove(const std::string& name) const {
    ce::RegDeleteValueW(key_.get(), ceutil::FromUtf8(name).c_str());
  }
  std::optional<ce::DWORD> Get(const std::string& name) const {
    ce::DWORD v = 0, size = sizeof v;
    if (ce::RegQueryValueExW(key_.get(), ceutil::FromUtf8(name).c_str(), nullptr, nullptr,
                             reinterpret_cast<ce::BYTE*>(&v), &size) != ERROR_SUCCESS)
      return std::nullopt;
    return v;
  }
  // The brightness values present, by name.
  std::map<std::string, ce::DWORD> Brightness() const {
    std::map<std::string, ce::DWORD> present;
    for (const char* name : kBrightnessNames)
      if (auto v = Get(name)) present[name] = *v;
    return present;
  }

 private:
  ce::RegKey key_;
};

// Whether the driver's change event was set since the last look.
class ChangeEvent {
 public:
  ChangeEvent() : event_(ce::CreateEventW(nullptr, FALSE, FALSE, u"BackLightChangeEvent")) {}
  bool Signalled() const { return ce::WaitForSingleObject(event_.get(), 0) == WAIT_OBJECT_0; }

 private:
  ce::UniqueHandle event_;
};

Ref<IQelBacklightService> Registry() {
  return Ref<IQelBacklightService>::Adopt(new qel::CQelBacklightService);
}
Ref<IQelBacklightService> Vendor() {
  return Ref<IQelBacklightService>::Adopt(static_cast<IQelBacklightService*>(qel::CreateBacklightService()));
}

TEST(RegistryBacklight, BrightnessWritesOnlyTheNamesPresent) {
  using Values = std::map<std::string, ce::DWORD>;
  struct Case {
    Values before;
    uint32_t level;
    bool result;
    Values after;
  };
  const Case cases[] = {
      {{{"Brightness", 1}}, 3, true, {{"Brightness", 3}}},
      {{{"ACBrightness", 0}, {"DCBrightness", 5}}, 2, true, {{"ACBrightness", 2}, {"DCBrightness", 2}}},
      {{{"BatteryBrightness", 1},
        {"ACBrightness", 1},
        {"DCBrightness", 1},
        {"BattBrightness", 1},
        {"Brightness", 1}},
       5,
       true,
       {{"BatteryBrightness", 5},
        {"ACBrightness", 5},
        {"DCBrightness", 5},
        {"BattBrightness", 5},
        {"Brightness", 5}}},
      {{}, 4, true, {}},                                     // nothing to write, nothing made
      {{{"Brightness", 1}}, 6, false, {{"Brightness", 1}}},  // out of the scale: untouched
  };
  qeltest::TestTerminal terminal;
  const auto s = Registry();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.level);
    const BacklightKey key;
    const ChangeEvent event;
    for (const auto& [name, v] : c.before) key.Set(name, v);
    EXPECT_EQ(s->SetBrightness(c.level), c.result);
    EXPECT_EQ(key.Brightness(), c.after);
    EXPECT_EQ(event.Signalled(), c.result);
  }
}

TEST(RegistryBacklight, BrightnessReadsTheFirstOfThreeNames) {
  using Values = std::map<std::string, ce::DWORD>;
  const std::pair<Values, int32_t> cases[] = {
      {{{"BatteryBrightness", 1}, {"BattBrightness", 2}, {"Brightness", 3}}, 1},
      {{{"BattBrightness", 2}, {"Brightness", 3}}, 2},
      {{{"Brightness", 3}, {"ACBrightness", 4}}, 3},
      {{{"ACBrightness", 4}, {"DCBrightness", 4}}, -1},  // never read
      {{}, -1},
  };
  qeltest::TestTerminal terminal;
  const auto s = Registry();
  for (const auto& [values, level] : cases) {
    const BacklightKey key;
    for (const auto& [name, v] : values) key.Set(name, v);
    EXPECT_EQ(s->GetBrightness(), level) << (values.empty() ? "none" : values.begin()->first);
  }
}

TEST(RegistryBacklight, TimeoutsAndTheMissingKey) {
  qeltest::TestTerminal terminal;
  const auto s = Registry();
  const BacklightKey key;
  const ChangeEvent event;
  EXPECT_TRUE(s->SetTimeout(45));
  EXPECT_TRUE(event.Signalled());
  EXPECT_EQ(s->GetACTimeout(), 45u);
  EXPECT_EQ(s->GetBatteryTimeout(), 45u);
  EXPECT_TRUE(s->SetACTimeout(120));
  EXPECT_TRUE(event.Signalled());
  EXPECT_EQ(key.Get("ACTimeout"), 120u);
  EXPECT_EQ(key.Get("BatteryTimeout"), 45u);
  EXPECT_TRUE(s->SetBatteryTimeout(10));
  EXPECT_TRUE(event.Signalled());
  EXPECT_EQ(key.Get("ACTimeout"), 120u);
  EXPECT_EQ(key.Get("BatteryTimeout"), 10u);
  key.Remove("ACTimeout");
  EXPECT_EQ(s->GetACTimeout(), 0xFFFFFFFFu);

  // Without the key nothing is read, written or made.
  ASSERT_EQ(ce::RegDeleteKeyW(HKEY_CURRENT_USER, kKey), ERROR_SUCCESS);
  EXPECT_EQ(s->GetACTimeout(), 0u);
  EXPECT_EQ(s->GetBatteryTimeout(), 0u);
  EXPECT_EQ(s->GetBrightness(), -1);
  EXPECT_FALSE(s->SetBrightness(1));
  EXPECT_FALSE(s->SetACTimeout(1));
  EXPECT_FALSE(s->SetTimeout(1));
  EXPECT_FALSE(s->SetBacklight(true));
  EXPECT_FALSE(event.Signalled());
  ce::HKEY opened = nullptr;
  EXPECT_NE(ce::RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, 0, &opened), ERROR_SUCCESS);
}

TEST(RegistryBacklight, SwitchesThroughThePowerManager) {
  qeltest::TestTerminal terminal;
  const auto s = Registry();
  EXPECT_TRUE(s->SetBacklight(false));
  EXPECT_EQ(terminal.Hardware("backlight.on"), false);
  EXPECT_TRUE(s->SetBacklight(true));
  EXPECT_EQ(terminal.Hardware("backlight.on"), true);
  terminal.Set("power.set_power_state_error", 50);
  EXPECT_FALSE(s->SetBacklight(false));
  EXPECT_EQ(terminal.Hardware("backlight.on"), true);
}

// The lines of the terminal's backlight history, oldest first.
std::vector<std::string> History(const qeltest::TestTerminal& terminal) {
  std::set<std::filesystem::path> files;  // names sort in the order the files were begun
  const auto dir = terminal.dir() / "outputs" / "backlight";
  if (!std::filesystem::exists(dir)) return {};
  for (const auto& f : std::filesystem::directory_iterator(dir)) files.insert(f.path());
  std::vector<std::string> lines;
  for (const auto& file : files) {
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
  }
  return lines;
}

TEST(VendorBacklight, BrightnessScales) {
  struct Case {
    uint32_t level;
    uint32_t percent;  // what the library is given
  };
  const Case sets[] = {{0, 0}, {1, 20}, {3, 60}, {5, 100}, {7, 100}, {42949673, 100}, {0xFFFFFFFF, 100}};
  const std::pair<uint32_t, int32_t> reads[] = {{0, 0}, {9, 0}, {10, 1}, {50, 3}, {69, 3}, {70, 4}, {100, 5}};
  qeltest::TestTerminal terminal;
  const auto s = Vendor();
  for (const Case& c : sets) {
    terminal.Set("backlight.brightness_percent", 33);
    EXPECT_TRUE(s->SetBrightness(c.level)) << c.level;
    EXPECT_EQ(terminal.Hardware("backlight.brightness_percent"), c.percent) << c.level;
  }
  for (const auto& [percent, level] : reads) {
    terminal.Set("backlight.brightness_percent", percent);
    EXPECT_EQ(s->GetBrightness(), level) << percent;
  }
  terminal.Set("lxe.backlight.get_brightness_result", -1);
  EXPECT_EQ(s->GetBrightness(), -1);
  terminal.Set("lxe.backlight.set_brightness_result", 2);  // acts, but only 1 is success
  EXPECT_FALSE(s->SetBrightness(2));
  EXPECT_EQ(terminal.Hardware("backlight.brightness_percent"), 40);
}

TEST(VendorBacklight, TimeoutPairKeepsItsOrder) {
  qeltest::TestTerminal terminal;
  const auto s = Vendor();
  terminal.Set("backlight.timeout_battery", 30);
  terminal.Set("backlight.timeout_ac", 60);
  EXPECT_EQ(s->GetBatteryTimeout(), 30u);
  EXPECT_EQ(s->GetACTimeout(), 60u);
  EXPECT_TRUE(s->SetACTimeout(90));
  EXPECT_EQ(terminal.Hardware("backlight.timeout_ac"), 90);
  EXPECT_EQ(terminal.Hardware("backlight.timeout_battery"), 30);
  EXPECT_TRUE(s->SetBatteryTimeout(15));
  EXPECT_EQ(terminal.Hardware("backlight.timeout_ac"), 90);
  EXPECT_EQ(terminal.Hardware("backlight.timeout_battery"), 15);
  EXPECT_TRUE(s->SetTimeout(5));
  EXPECT_EQ(History(terminal),
            (std::vector<std::string>{"timeouts battery 30 ac 90", "timeouts battery 15 ac 90",
                                      "timeouts battery 5 ac 5"}));
}

TEST(VendorBacklight, TimeoutSettersFollowTheReading) {
  struct Case {
    int32_t readResult;
    uint32_t requested;
    bool result;
    bool written;
  };
  const Case cases[] = {
      {1, 60, true, false},  // already so: no write
      {1, 61, true, true},  {0, 61, false, false},
      {2, 61, false, true},  // an unsure reading: the write is made, the answer is false
      {2, 60, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.readResult) + " " + std::to_string(c.requested));
    qeltest::TestTerminal terminal;
    const auto s = Vendor();
    terminal.Set("backlight.timeout_ac", 60);
    terminal.Set("lxe.backlight.get_timeout_result", c.readResult);
    EXPECT_EQ(s->SetACTimeout(c.requested), c.result);
    EXPECT_EQ(History(terminal).size(), c.written ? 1u : 0u);
    EXPECT_EQ(terminal.Hardware("backlight.timeout_ac"), c.written ? c.requested : 60u);
    EXPECT_EQ(s->GetACTimeout(), c.readResult == 1 ? (c.written ? c.requested : 60u) : 0u);
  }
}

TEST(VendorBacklight, SwitchingOnIsUserActivity) {
  struct Case {
    bool on;
    int32_t setResult, eventResult;
    bool result;
    std::vector<std::string> history;
  };
  const Case cases[] = {
      {true, 1, 1, true, {"on", "user activity"}},
      {true, 1, 0, false, {"on"}},  // the last call decides
      {false, 1, 0, true, {"off"}},
      {false, 0, 1, false, {}},
  };
  for (const Case& c : cases) {
    qeltest::TestTerminal terminal;
    const auto s = Vendor();
    terminal.Set("lxe.backlight.set_on_result", c.setResult);
    terminal.Set("lxe.backlight.user_event_result", c.eventResult);
    EXPECT_EQ(s->SetBacklight(c.on), c.result) << c.on << c.setResult << c.eventResult;
    EXPECT_EQ(History(terminal), c.history);
  }
}

TEST(VendorBacklight, WithoutTheLibraryEveryCallFails) {
  qeltest::TestTerminal terminal;
  terminal.Set("modules", ce::sim::Json::array());
  const auto s = Vendor();
  EXPECT_FALSE(s->SetBacklight(true));
  EXPECT_FALSE(s->SetTimeout(1));
  EXPECT_FALSE(s->SetBrightness(1));
  EXPECT_EQ(s->GetBrightness(), -1);
  EXPECT_EQ(s->GetACTimeout(), 0u);
  EXPECT_FALSE(s->SetBatteryTimeout(1));
}

}  // namespace

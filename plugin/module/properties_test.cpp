// The property getters of this build, read through the registrations a host
// receives, on a terminal whose hardware the test scripts.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "ce/text.h"
#include "ceutil/text.h"
#include "devices/display_service.h"
#include "qel/exports.h"
#include "qelcommon/value.h"
#include "recording_registrar.h"
#include "test_terminal.h"

namespace {

using ce::sim::Json;

struct Expect {
  enum What { Fails, UInt32, Unknown } what;
  uint32_t number = 0;
};
constexpr Expect kFails{Expect::Fails};
constexpr Expect kUnknown{Expect::Unknown};
constexpr Expect UInt(uint32_t n) { return {Expect::UInt32, n}; }

class Properties : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(RegisterService(&registrar)); }

  // Calls the registered getter on a value that holds Int32 7 beforehand.
  bool Read(const std::string& name, CQelValue& value) {
    const qeltest::RegistrarCall* p = registrar.Property(ceutil::FromUtf8(name));
    if (!p) {
      ADD_FAILURE() << name << " is not registered";
      return false;
    }
    value.SetInt32(7);
    return p->getter(&value, p->object);
  }

  void Check(const std::string& name, Expect expect) {
    SCOPED_TRACE(name);
    CQelValue value;
    const bool ok = Read(name, value);
    switch (expect.what) {
      case Expect::Fails: {
        EXPECT_FALSE(ok);
        ExpectUntouched(value);
        break;
      }
      case Expect::UInt32: {
        ASSERT_TRUE(ok);
        EXPECT_EQ(value.GetKind(), QelKind::UInt32);
        uint32_t n = 0;
        EXPECT_TRUE(value.GetUInt32(&n));
        EXPECT_EQ(n, expect.number);
        break;
      }
      case Expect::Unknown: {
        ASSERT_TRUE(ok);
        EXPECT_EQ(value.GetKind(), QelKind::String);
        EXPECT_EQ(Text(value), u"?");
        break;
      }
    }
  }

  static void ExpectUntouched(CQelValue& value) {
    EXPECT_EQ(value.GetKind(), QelKind::Int32);
    int32_t n = 0;
    EXPECT_TRUE(value.GetInt32(&n));
    EXPECT_EQ(n, 7);
  }
  static std::u16string Text(CQelValue& value) {
    IQelText* text = nullptr;
    if (!value.GetString(&text) || !text) return u"<no text>";
    return std::u16string(text->Chars(), text->Length());
  }

  qeltest::TestTerminal terminal;  // before the registrar: services are made on it
  qeltest::RecordingRegistrar registrar;
};

// One scripted step: a hardware change (key set) or a read with its outcome.
struct Step {
  const char* key;
  Json value;
  const char* property;
  Expect expect;
};
Step Set(const char* key, Json value) { return {key, std::move(value), nullptr, kFails}; }
Step Get(const char* property, Expect expect) { return {nullptr, Json(), property, expect}; }

struct PowerCase {
  const char* name;
  std::vector<Step> steps;
};
void PrintTo(const PowerCase& c, std::ostream* os) { *os << c.name; }

class PowerProperties : public Properties, public ::testing::WithParamInterface<PowerCase> {};

// The kernel keeps the driver's last report per process, whichever terminal it
// came from: every script refreshes with an _RT read before a plain one.
TEST_P(PowerProperties, FollowTheDriver) {
  for (const Step& s : GetParam().steps) {
    if (s.key)
      terminal.Set(s.key, s.value);
    else
      Check(s.property, s.expect);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Scripts, PowerProperties,
    ::testing::Values(
        PowerCase{"percent_unknown",
                  {Set("power.battery_life_percent", 255), Get("POWER_BATTERY_LEVEL_RT", kUnknown),
                   Get("POWER_BATTERY_LEVEL", kUnknown)}},
        PowerCase{"short_extended_record",
                  {Set("power.battery_life_percent", 255), Set("power.driver_ex2_bytes", 40),
                   Get("POWER_BATTERY_LEVEL_RT", UInt(100)), Get("POWER_BATTERY_LEVEL", kFails),
                   Get("POWER_SOURCE_RT", UInt(1))}},
        PowerCase{"ac_unknown",
                  {Set("power.ac_line_status", 255), Get("POWER_SOURCE_RT", kUnknown),
                   Get("POWER_SOURCE", kUnknown)}},
        PowerCase{"driver_down",
                  {Set("power.driver_ok", false), Get("POWER_SOURCE_RT", kFails), Get("POWER_SOURCE", kFails),
                   Get("POWER_BATTERY_LIFETIME", kFails), Get("POWER_BATTERY_LIFETIME_RT", kFails),
                   Get("POWER_BATTERY_LEVEL_RT", UInt(100)), Get("POWER_BATTERY_LEVEL", kFails)}},
        PowerCase{"lifetime_unknown",
                  {Set("power.battery_life_time", 4294967295u), Get("POWER_BATTERY_LIFETIME", kUnknown),
                   Get("POWER_BATTERY_LIFETIME_RT", kUnknown)}},
        PowerCase{
            "lifetime_always_refreshes",
            {Set("power.battery_life_time", 3600), Get("POWER_BATTERY_LIFETIME", UInt(3600)),
             Set("power.battery_life_time", 4294967294u), Get("POWER_BATTERY_LIFETIME", UInt(4294967294u)),
             Get("POWER_BATTERY_LIFETIME_RT", UInt(4294967294u))}},
        PowerCase{"plain_reads_see_the_last_report",
                  {Set("power.battery_life_percent", 30), Set("power.ac_line_status", 1),
                   Get("POWER_BATTERY_LEVEL_RT", UInt(30)), Get("POWER_SOURCE_RT", UInt(1)),
                   Set("power.battery_life_percent", 70), Set("power.ac_line_status", 0),
                   Get("POWER_BATTERY_LEVEL", UInt(30)), Get("POWER_SOURCE", UInt(1)),
                   Get("POWER_BATTERY_LEVEL_RT", UInt(70)), Get("POWER_BATTERY_LEVEL", UInt(70)),
                   Get("POWER_SOURCE_RT", UInt(0)), Get("POWER_SOURCE", UInt(0))}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Properties, RemoteSessionFollowsTheNamedEvent) {
  struct Case {
    Json events;
    bool expected;
  };
  const Case cases[] = {
      {Json::array(), false},
      {Json::array({"QEL4 BigBrother"}), true},
      {Json::array({"Other", "QEL4 BigBrother"}), true},
      {Json::array({"QEL4 BIGBROTHER"}), false},  // event names keep their case
      {Json::array({"QEL4 BigBrother2", "QEL4"}), false},
      // The getter must not keep the event open: once the holder is gone it reads false.
      {Json::array(), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.events.dump());
    terminal.Set("kernel.named_events", c.events);
    CQelValue value;
    ASSERT_TRUE(Read("QEL_REMOTE_SESSION", value));
    EXPECT_EQ(value.GetKind(), QelKind::Bool);
    bool b = !c.expected;
    EXPECT_TRUE(value.GetBool(&b));
    EXPECT_EQ(b, c.expected);
  }
}

TEST_F(Properties, DiskAndMemoryFigures) {
  terminal.Set("storage.root.free_to_caller", 5000000000u);
  terminal.Set("memory.avail_phys", 123456789u);
  terminal.Set("memory.total_phys", 4000000000u);

  CQelValue disk;
  ASSERT_TRUE(Read("SYS_DISK_FREE_SPACE", disk));
  EXPECT_EQ(disk.GetKind(), QelKind::UInt64);
  uint64_t free = 0;
  EXPECT_TRUE(disk.GetUInt64(&free));
  EXPECT_EQ(free, 5000000000u);

  Check("SYS_MEM_HEAP_SPACE", UInt(123456789u));
  Check("SYS_MEM_TOTAL", UInt(4000000000u));
  Check("SYS_DROP_COUNT", UInt(0));
}

TEST_F(Properties, UpTimeCountsFromTheTerminalsStart) {
  const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
                       std::chrono::system_clock::now().time_since_epoch())
                       .count();
  terminal.Set("kernel.boot_time_unix_ms", now - 60000);
  uint32_t first = 0, second = 0;
  CQelValue value;
  ASSERT_TRUE(Read("SYS_DEVICE_UP_TIME", value));
  EXPECT_EQ(value.GetKind(), QelKind::UInt32);
  ASSERT_TRUE(value.GetUInt32(&first));
  EXPECT_GE(first, 60000u);
  EXPECT_LT(first, 70000u);
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  ASSERT_TRUE(Read("SYS_DEVICE_UP_TIME", value));
  ASSERT_TRUE(value.GetUInt32(&second));
  EXPECT_GE(second, first + 30);
}

// A getter handed no value, or a context-bound getter handed no context, fails
// and changes nothing.
TEST_F(Properties, GettersRefuseMissingArguments) {
  for (const auto& p : registrar.calls) {
    if (p.op != qeltest::Op::AddProperty) continue;
    SCOPED_TRACE(ceutil::ToUtf8(p.name));
    EXPECT_FALSE(p.getter(nullptr, p.object));
    if (p.object) {
      CQelValue value;
      value.SetInt32(7);
      EXPECT_FALSE(p.getter(&value, nullptr));
      ExpectUntouched(value);
    }
  }
}

// Orientation codes 0..3 are the driver's values 0, 1, 2 and 4.
constexpr uint32_t kDriverValue[] = {0, 1, 2, 4};

struct Display {
  Display() : service(static_cast<qel::CQelDisplayService*>(qel::CreateDisplayService())) {}
  ~Display() { service->Release(); }
  uint32_t Orientation() {
    uint32_t code = 99;
    EXPECT_TRUE(service->GetOrientation(&code));
    return code;
  }
  std::pair<uint32_t, uint32_t> Presets() {
    uint32_t first = 99, second = 99;
    EXPECT_TRUE(service->GetFirstPreset(&first));
    EXPECT_TRUE(service->GetSecondPreset(&second));
    return {first, second};
  }
  qel::CQelDisplayService* service;
};

TEST_F(Properties, DisplayReadsTheDriversOrientationAndPresets) {
  struct Case {
    uint32_t driver;
    uint32_t code;
    std::pair<uint32_t, uint32_t> presets;
  };
  const Case cases[] = {
      {0, 0, {0, 3}}, {1, 1, {3, 0}}, {2, 2, {3, 0}},
      {4, 3, {3, 0}}, {3, 0, {0, 3}},  // not a driver orientation: reads as upright
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("driver orientation " + std::to_string(c.driver));
    terminal.Set("display.orientation", c.driver);
    Display d;
    EXPECT_EQ(d.Orientation(), c.code);
    EXPECT_EQ(d.Presets(), c.presets);
  }
}

TEST_F(Properties, DisplaySetsTheDriverAndRestoresWhatItSaved) {
  Display d;
  for (uint32_t code = 0; code < 4; ++code) {
    SCOPED_TRACE("code " + std::to_string(code));
    ASSERT_TRUE(d.service->SetOrientation(code));
    EXPECT_EQ(terminal.Hardware("display.orientation"), kDriverValue[code]);
    EXPECT_EQ(d.Orientation(), code);
  }
  EXPECT_FALSE(d.service->SetOrientation(4));  // no such code: the screen stays as it is
  EXPECT_EQ(terminal.Hardware("display.orientation"), kDriverValue[3]);

  IQelService* common = d.service;  // the host reaches these through the common slots
  ASSERT_TRUE(d.service->SetOrientation(2));
  common->SaveState();
  ASSERT_TRUE(d.service->SetOrientation(0));
  common->RestoreState();
  EXPECT_EQ(terminal.Hardware("display.orientation"), kDriverValue[2]);
  EXPECT_EQ(d.service->GetCounter(), 0u);
  EXPECT_FALSE(d.service->Reserved8(1));
}

TEST_F(Properties, DisplayWithoutRotationReportsNoOrientation) {
  terminal.Set("display.supported_orientations", 0);
  Display d;
  uint32_t code = 77;
  EXPECT_FALSE(d.service->GetOrientation(&code));
  EXPECT_EQ(code, 77u);
  EXPECT_FALSE(d.service->GetOrientation(nullptr));
}

}  // namespace

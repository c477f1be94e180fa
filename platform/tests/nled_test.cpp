// The notification-LED driver: the count, each LED's settings as set, and
// the settings it refuses.
#include "ce/nled.h"

#include <gtest/gtest.h>

#include "ce/error.h"
#include "conformance.h"

namespace ce {
namespace {

using cetest::kSentinel;

NLED_SETTINGS_INFO Blink(UINT led, LONG on, LONG off) { return {led, 2, on + off, on, off, 3, 1}; }

TEST(NLed, KeepsEachLedsSettingsAndRefusesWhatItCannotDo) {
  NLED_COUNT_INFO count{};
  const BOOL counted = NLedGetDeviceInfo(NLED_COUNT_INFO_ID, &count);
  if (cetest::DesktopLacks(counted)) GTEST_SKIP() << "a desktop has no LED driver";
  ASSERT_TRUE(counted);
  ASSERT_GE(count.cLeds, 1u) << "the default terminal has an LED";

  NLED_SETTINGS_INFO set = Blink(0, 500000, 250000);
  ASSERT_TRUE(NLedSetDevice(NLED_SETTINGS_INFO_ID, &set));
  NLED_SETTINGS_INFO got{};
  got.LedNum = 0;
  ASSERT_TRUE(NLedGetDeviceInfo(NLED_SETTINGS_INFO_ID, &got));
  EXPECT_EQ(got.OffOnBlink, 2);
  EXPECT_EQ(got.TotalCycleTime, 750000);
  EXPECT_EQ(got.OnTime, 500000);
  EXPECT_EQ(got.OffTime, 250000);
  EXPECT_EQ(got.MetaCycleOn, 3);
  EXPECT_EQ(got.MetaCycleOff, 1);

  NLED_SUPPORTS_INFO supports{};
  ASSERT_TRUE(NLedGetDeviceInfo(NLED_SUPPORTS_INFO_ID, &supports));
  EXPECT_EQ(supports.lCycleAdjust, 1000);

  NLED_SETTINGS_INFO beyond = Blink(count.cLeds, 1, 1), mode3 = Blink(0, 1, 1), negative = Blink(0, 1, 1),
                     negativeOn = {0, 1, 0, -5, 0, 0, 0};
  mode3.OffOnBlink = 3;
  negative.MetaCycleOff = -1;
  const struct {
    const char* what;
    UINT id;
    void* input;
  } refused[] = {
      {"an LED it lacks", NLED_SETTINGS_INFO_ID, &beyond},
      {"mode 3", NLED_SETTINGS_INFO_ID, &mode3},
      {"a negative cycle count", NLED_SETTINGS_INFO_ID, &negative},
      {"a negative time with the LED on", NLED_SETTINGS_INFO_ID, &negativeOn},
      {"no record", NLED_SETTINGS_INFO_ID, nullptr},
      {"the count's id", NLED_COUNT_INFO_ID, &set},
  };
  for (const auto& r : refused) {
    SetLastError(kSentinel);
    EXPECT_FALSE(NLedSetDevice(r.id, r.input)) << r.what;
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER)) << r.what;
  }
  got = {};
  ASSERT_TRUE(NLedGetDeviceInfo(NLED_SETTINGS_INFO_ID, &got));
  EXPECT_EQ(got.OnTime, 500000) << "a refused setting changed what was kept";

  NLED_SETTINGS_INFO other{};
  other.LedNum = count.cLeds;
  SetLastError(kSentinel);
  EXPECT_FALSE(NLedGetDeviceInfo(NLED_SETTINGS_INFO_ID, &other));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(NLedGetDeviceInfo(7, &count));
}

}  // namespace
}  // namespace ce

// The battery suspend time-out: the window system's, or the power manager's
// registry value when the window system has handed the time-outs over.
#include "core/suspend_timeout.h"

#include <gtest/gtest.h>

#include <optional>

#include "ce/error.h"
#include "ce/handle.h"
#include "ce/registry.h"
#include "ce/sync.h"
#include "test_terminal.h"

namespace {

constexpr const char16_t* kPower = u"System\\CurrentControlSet\\Control\\Power";
constexpr const char16_t* kTimeouts = u"System\\CurrentControlSet\\Control\\Power\\Timeouts";

std::optional<ce::DWORD> Read(const char16_t* path, const char16_t* name) {
  ce::HKEY opened = nullptr;
  if (ce::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, 0, &opened) != ERROR_SUCCESS) return std::nullopt;
  const ce::RegKey key(opened);
  ce::DWORD v = 0, size = sizeof v;
  if (ce::RegQueryValueExW(key.get(), name, nullptr, nullptr, reinterpret_cast<ce::BYTE*>(&v), &size) !=
      ERROR_SUCCESS)
    return std::nullopt;
  return v;
}

void Write(const char16_t* path, const char16_t* name, ce::DWORD v) {
  ce::HKEY opened = nullptr;
  ASSERT_EQ(ce::RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, 0, nullptr, &opened, nullptr),
            ERROR_SUCCESS);
  const ce::RegKey key(opened);
  ce::RegSetValueExW(key.get(), name, 0, REG_DWORD, reinterpret_cast<const ce::BYTE*>(&v), sizeof v);
}

TEST(SuspendTimeout, ReadsTheWindowSystemOrThePowerManager) {
  struct Case {
    uint32_t idle;
    uint32_t error;
    uint32_t disableGwes;
    uint32_t expected;
  };
  const Case cases[] = {
      {300, 0, 1, 300},        // a time-out of its own: the window system's
      {0, 0, 1, 600},          // none, and the window system's power-off disabled: the power manager's
      {0, 0, 0, 0},            // none, and nobody else's
      {0, 31, 1, 0xFFFFFFFF},  // unreadable
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    qeltest::TestTerminal terminal;
    terminal.Set("power.battery_idle_timeout", c.idle);
    terminal.Set("power.idle_timeout_read_error", c.error);
    Write(kPower, u"DisableGwesPowerOff", c.disableGwes);
    Write(kTimeouts, u"BattSuspendTimeout", 600);
    EXPECT_EQ(qel::GetBatterySuspendTimeout(), c.expected);
  }
}

TEST(SuspendTimeout, FallsBackToThePowerManagerOnlyFor4309) {
  struct Case {
    const char* what;
    uint32_t error;
    bool listens;
    bool result;
    uint32_t idle;      // the window system's afterwards
    uint32_t registry;  // BattSuspendTimeout afterwards
    bool reloadSignalled;
  };
  const Case cases[] = {
      {"window system takes it", 0, true, true, 90, 300, false},
      {"power manager reloads", 4309, true, true, 0, 90, true},
      {"power manager deaf", 4309, false, false, 0, 90, false},  // written, but nobody was told
      {"other failure", 87, true, false, 0, 300, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    qeltest::TestTerminal terminal;
    terminal.Set("power.battery_idle_timeout", 0);
    terminal.Set("power.idle_timeout_error", c.error);
    terminal.Set("power.manager_reloads_timeouts", c.listens);
    // The power manager's side of the event, when it listens.
    const ce::UniqueHandle reload(c.listens ? ce::OpenEventW(0, FALSE, u"PowerManager/ReloadActivityTimeouts")
                                            : nullptr);
    EXPECT_EQ(qel::SetBatterySuspendTimeout(90), c.result);
    terminal.Set("power.idle_timeout_error", 0);
    EXPECT_EQ(terminal.Hardware("power.battery_idle_timeout"), c.idle);
    EXPECT_EQ(Read(kTimeouts, u"BattSuspendTimeout"), c.registry);
    if (reload) {
      EXPECT_EQ(ce::WaitForSingleObject(reload.get(), 0) == WAIT_OBJECT_0, c.reloadSignalled);
    }
  }
}

TEST(SuspendTimeout, NoPowerManagerKeyNoFallback) {
  qeltest::TestTerminal terminal;
  terminal.Set("power.idle_timeout_error", 4309);
  ASSERT_EQ(ce::RegDeleteKeyW(HKEY_LOCAL_MACHINE, kTimeouts), ERROR_SUCCESS);
  EXPECT_FALSE(qel::SetBatterySuspendTimeout(90));
  EXPECT_EQ(Read(kTimeouts, u"BattSuspendTimeout"), std::nullopt);
}

}  // namespace

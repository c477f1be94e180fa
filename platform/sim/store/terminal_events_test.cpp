// Power notifications and wake-ups reach the process through the terminal's
// event channel, whichever process announced them.
#include "terminal_events.h"

#include <gtest/gtest.h>

#include <cstring>

#include "ce/error.h"
#include "ce/handle.h"
#include "ce/msgqueue.h"
#include "ce/notify.h"
#include "ce/power.h"
#include "ce/sim/control.h"
#include "ce/sync.h"
#include "test_terminal.h"

namespace {

using namespace ce;

struct PowerQueue {
  HANDLE queue = nullptr;
  HANDLE notifications = nullptr;
  explicit PowerQueue(DWORD mask) {
    MSGQUEUEOPTIONS o{sizeof o, MSGQUEUE_NOPRECOMMIT, 0, 536, TRUE};
    queue = CreateMsgQueue(nullptr, &o);
    notifications = RequestPowerNotifications(queue, mask);
  }
  ~PowerQueue() {
    StopPowerNotifications(notifications);
    CloseMsgQueue(queue);
  }
  // The next record's message and flags, or nothing within the time.
  std::optional<std::pair<DWORD, DWORD>> Next(DWORD ms) {
    uint8_t buffer[536];
    DWORD read = 0, flags = 0;
    if (!ReadMsgQueue(queue, buffer, sizeof buffer, &read, ms, &flags)) return std::nullopt;
    if (read < 16) return std::make_pair(DWORD(read), DWORD(0xFFFFFFFF));  // short: its length
    POWER_BROADCAST b;
    std::memcpy(&b, buffer, 8);
    return std::make_pair(b.Message, b.Flags);
  }
};

TEST(TerminalEvents, PowerRecordsReachTheQueuesThatAskedForThem) {
  qeltest::TestTerminal terminal;
  PowerQueue all(PBT_TRANSITION | PBT_RESUME | PBT_POWERSTATUSCHANGE), resumes(PBT_RESUME);
  ASSERT_NE(all.notifications, nullptr);
  std::string error;
  ASSERT_TRUE(ce::sim::Suspend(&error)) << error;
  ASSERT_TRUE(ce::sim::Resume(&error)) << error;
  ASSERT_TRUE(ce::sim::PowerStatusChanged(&error)) << error;
  ASSERT_TRUE(ce::sim::DeliverPowerRecord({1, 0, 0, 0, 0, 0, 0x20, 0, 0, 0, 0, 0}, &error)) << error;
  using R = std::pair<DWORD, DWORD>;
  EXPECT_EQ(all.Next(5000), R(PBT_TRANSITION, POWER_STATE_SUSPEND));
  EXPECT_EQ(all.Next(5000), R(PBT_RESUME, 0));
  EXPECT_EQ(all.Next(5000), R(PBT_TRANSITION, POWER_STATE_ON));
  EXPECT_EQ(all.Next(5000), R(PBT_POWERSTATUSCHANGE, 0));
  EXPECT_EQ(all.Next(5000), R(12, 0xFFFFFFFF));  // the 12-byte transition, as it was sent
  EXPECT_EQ(resumes.Next(5000), R(PBT_RESUME, 0));
  EXPECT_EQ(resumes.Next(0), std::nullopt);
  EXPECT_EQ(all.Next(50), std::nullopt);
  SetLastError(0xDEADBEEF);
  EXPECT_FALSE(StopPowerNotifications(all.queue));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
}

TEST(TerminalEvents, WakeUpNotificationsAreKeptByTheTerminalAndSetTheirEvent) {
  qeltest::TestTerminal terminal;
  UniqueHandle event(CreateEventW(nullptr, FALSE, FALSE, u"Qel Test Wake"));
  char16_t app[] = u"\\\\.\\Notifications\\NamedEvents\\Qel Test Wake";
  CE_NOTIFICATION_TRIGGER trigger{};
  trigger.dwSize = sizeof trigger;
  trigger.dwType = CNT_EVENT;
  trigger.dwEvent = NOTIFICATION_EVENT_WAKEUP;
  trigger.lpszApplication = app;
  HANDLE n = CeSetUserNotificationEx(nullptr, &trigger, nullptr);
  ASSERT_NE(n, nullptr);

  DWORD count = 0;
  SetLastError(0xDEADBEEF);
  EXPECT_FALSE(CeGetUserNotificationHandles(nullptr, 0, &count));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(count, 1u);
  HANDLE handles[4] = {};
  ASSERT_TRUE(CeGetUserNotificationHandles(handles, 4, &count));
  EXPECT_EQ(handles[0], n);
  DWORD size = 0;
  SetLastError(0xDEADBEEF);
  EXPECT_FALSE(CeGetUserNotification(n, 0, &size, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  std::vector<BYTE> buffer(size);
  ASSERT_TRUE(CeGetUserNotification(n, size, &size, buffer.data()));
  const auto* info = reinterpret_cast<const CE_NOTIFICATION_INFO_HEADER*>(buffer.data());
  EXPECT_EQ(info->hNotification, n);
  EXPECT_EQ(info->pcent->dwEvent, DWORD(NOTIFICATION_EVENT_WAKEUP));
  EXPECT_EQ(std::u16string(info->pcent->lpszApplication), std::u16string(app));
  EXPECT_EQ(info->pceun, nullptr);

  std::string error;
  ASSERT_TRUE(ce::sim::WakeUp(&error)) << error;
  EXPECT_EQ(WaitForSingleObject(event.get(), 5000), WAIT_OBJECT_0);

  ASSERT_TRUE(CeClearUserNotification(n));
  SetLastError(0xDEADBEEF);
  EXPECT_FALSE(CeClearUserNotification(n));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  ASSERT_TRUE(ce::sim::WakeUp(&error)) << error;
  EXPECT_EQ(WaitForSingleObject(event.get(), 200), DWORD(WAIT_TIMEOUT));  // cleared: nothing fires
}

}  // namespace

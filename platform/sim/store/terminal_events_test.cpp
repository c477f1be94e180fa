// Power notifications and wake-ups reach the process through the terminal's
// event channel, whichever process announced them.
#include "terminal_events.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "ce/error.h"
#include "ce/handle.h"
#include "ce/msgqueue.h"
#include "ce/notify.h"
#include "ce/power.h"
#include "ce/sim/control.h"
#include "ce/sync.h"
#include "temp_dir.h"
#include "test_terminal.h"

namespace {

using namespace ce;
namespace fs = std::filesystem;

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

using R = std::pair<DWORD, DWORD>;

// 3. A listener goes on after the channel is truncated or deleted under it
// (the next record makes a deleted channel anew).
TEST(TerminalEvents, AListenerGoesOnAfterTheChannelIsTruncatedOrDeleted) {
  const struct {
    const char* what;
    void (*harm)(const fs::path&);
  } rows[] = {
      {"truncated", [](const fs::path& log) { fs::resize_file(log, 0); }},
      {"deleted", [](const fs::path& log) { fs::remove(log); }},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    qeltest::TestTerminal terminal;
    PowerQueue all(PBT_POWERSTATUSCHANGE | PBT_RESUME);
    ASSERT_NE(all.notifications, nullptr);
    std::string error;
    for (int i = 0; i < 20; ++i) ASSERT_TRUE(ce::sim::PowerStatusChanged(&error)) << error;
    for (int i = 0; i < 20; ++i) ASSERT_EQ(all.Next(5000), R(PBT_POWERSTATUSCHANGE, 0)) << i;
    row.harm(terminal.dir() / "events.log");
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(ce::sim::Resume(&error)) << error;
    int got = 0;
    while (auto r = all.Next(3000)) got += *r == R(PBT_RESUME, 0);
    EXPECT_EQ(got, 5);
  }
}

// 3. The channel stays bounded, and rotation loses nothing a listener has not read.
TEST(TerminalEvents, TheChannelIsRotatedWithoutLosingARecord) {
  qeltest::TestTerminal terminal;
  PowerQueue all(0xFFFFFFFF);
  ASSERT_NE(all.notifications, nullptr);
  std::string error;
  constexpr int kRecords = 1500;    // 790 KB: three rotations
  constexpr int kDrainEvery = 100;  // well within a rotation: a listener keeps one file behind at most
  std::vector<uint8_t> record(260, 0);
  record[2] = 1;  // a message of bits the mask lets by
  int got = 0;
  auto drain = [&](int upTo) {
    while (got < upTo) {
      uint8_t buffer[536];
      DWORD read = 0, flags = 0;
      if (!ReadMsgQueue(all.queue, buffer, sizeof buffer, &read, 5000, &flags)) return;
      ASSERT_EQ(read, 260u);
      ASSERT_EQ(buffer[0] | buffer[1] << 8, got) << "in order";
      ++got;
    }
  };
  for (int i = 0; i < kRecords; ++i) {
    record[0] = uint8_t(i), record[1] = uint8_t(i >> 8);
    ASSERT_TRUE(ce::sim::DeliverPowerRecord(record, &error)) << error;
    std::error_code ec;
    const auto size = fs::file_size(terminal.dir() / "events.log", ec);  // none just after a rotation
    ASSERT_LE(ec ? 0 : size, uintmax_t(ce::sim::kEventsRotateBytes) + ce::sim::kMaxEventRecordBytes + 1);
    if ((i + 1) % kDrainEvery == 0) drain(i + 1);
  }
  EXPECT_TRUE(fs::exists(terminal.dir() / "events.log.1"));
  EXPECT_EQ(qeltest::Contents(terminal.dir() / "events.log").rfind("# after ", 0), 0u);
  drain(kRecords);
  EXPECT_EQ(got, kRecords);
}

// 3. A record has a size limit: refused when written; an over-long line
// found in the file is skipped, and the records after it arrive.
TEST(TerminalEvents, AnOverLongRecordIsRefusedAndSkipped) {
  qeltest::TestTerminal terminal;
  PowerQueue all(PBT_RESUME);
  ASSERT_NE(all.notifications, nullptr);
  std::string error;
  EXPECT_FALSE(ce::sim::DeliverPowerRecord(std::vector<uint8_t>(4000, 1), &error));
  EXPECT_EQ(error, "an event record is at most 4096 bytes; this one is 8006");
  {
    std::ofstream out(terminal.dir() / "events.log", std::ios::app);
    out << std::string(1 << 20, 'x');
    out.flush();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    out << "\n";
  }
  ASSERT_TRUE(ce::sim::Resume(&error)) << error;
  EXPECT_EQ(all.Next(5000), R(PBT_RESUME, 0));
}

TEST(EventRecordReader, HoldsNoMoreThanARecord) {
  ce::sim::EventRecordReader reader;
  std::vector<std::string> records;
  auto keep = [&](std::string_view r) { records.emplace_back(r); };
  reader.Feed("wakeup\npower 01", keep);
  EXPECT_EQ(reader.held(), 8u);
  reader.Feed("02\n", keep);
  const std::string chunk(65536, 'y');
  for (int i = 0; i < 1024; ++i) {  // 64 MiB without a line break
    reader.Feed(chunk, keep);
    ASSERT_LE(reader.held(), ce::sim::kMaxEventRecordBytes);
  }
  reader.Feed("\n" + std::string(ce::sim::kMaxEventRecordBytes, 'z') + "\nwakeup\n", keep);
  EXPECT_EQ(reader.skipped(), 1u);
  ASSERT_EQ(records.size(), 4u);
  EXPECT_EQ(records[0], "wakeup");
  EXPECT_EQ(records[1], "power 0102");
  EXPECT_EQ(records[2].size(), ce::sim::kMaxEventRecordBytes);
  EXPECT_EQ(records[3], "wakeup");
  EXPECT_EQ(ce::sim::ParseEventRecord("power 0a0B").power, (std::vector<uint8_t>{10, 11}));
  EXPECT_EQ(ce::sim::ParseEventRecord("power 0g").kind, ce::sim::EventRecord::Kind::kUnknown);
  EXPECT_EQ(ce::sim::ParseEventRecord("power 012").kind, ce::sim::EventRecord::Kind::kUnknown);
}

}  // namespace

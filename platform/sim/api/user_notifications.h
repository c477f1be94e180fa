// The user notifications a terminal keeps: "<terminal>/notifications.json",
// read and replaced under "<terminal>/notifications.lock" by every process.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "ce/notify.h"

namespace ce::sim {

struct StoredNotification {
  DWORD handle = 0;
  DWORD type = 0;
  DWORD event = 0;
  std::u16string application;
  std::u16string arguments;
  SYSTEMTIME start{};
  SYSTEMTIME end{};
  bool hasUser = false;
  DWORD actionFlags = 0;
  std::u16string title;
  std::u16string text;
  std::u16string sound;
  DWORD maxSound = 0;
};

struct NotificationStore {
  DWORD next = 1;  // the next handle given out
  std::vector<StoredNotification> entries;
};

// Runs change on the terminal's store under its lock and writes it back
// (atomically) when change returns true. False when the store cannot be read
// or written.
bool UpdateNotifications(const std::filesystem::path& dir,
                         const std::function<bool(NotificationStore&)>& change);
bool ReadNotifications(const std::filesystem::path& dir, NotificationStore* out);

// The named event a trigger's application text names, or empty.
std::u16string NamedEventTarget(std::u16string_view application);

}  // namespace ce::sim

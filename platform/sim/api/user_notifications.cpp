// User notifications, kept in the terminal so that they outlive the program
// that registered them.
#include "user_notifications.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstring>
#include <nlohmann/json.hpp>

#include "api.h"
#include "case_fold.h"
#include "ce/error.h"
#include "device_path.h"
#include "hardware_state.h"
#include "kernel.h"
#include "last_error.h"
#include "state_files.h"
#include "terminal_events.h"
#include "utf.h"

namespace ce {
namespace sim {
namespace fs = std::filesystem;
using nlohmann::json;

namespace {

constexpr char kNotificationsFile[] = "notifications.json";
constexpr char kNotificationsLock[] = "notifications.lock";

constexpr std::u16string_view kNamedEventsPrefix = u"\\\\.\\Notifications\\NamedEvents\\";

json TimeJson(const SYSTEMTIME& t) {
  return {t.wYear, t.wMonth, t.wDayOfWeek, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
}

SYSTEMTIME TimeOf(const json& j) {
  SYSTEMTIME t{};
  if (!j.is_array() || j.size() != 8) return t;
  WORD* w = &t.wYear;
  for (size_t i = 0; i < 8; ++i) w[i] = j[i].is_number_unsigned() ? WORD(j[i].get<unsigned>()) : 0;
  return t;
}

json ToJson(const NotificationStore& s) {
  json list = json::array();
  for (const auto& n : s.entries) {
    json e = {{"handle", n.handle},
              {"type", n.type},
              {"event", n.event},
              {"application", ToUtf8(n.application)},
              {"arguments", ToUtf8(n.arguments)},
              {"start", TimeJson(n.start)},
              {"end", TimeJson(n.end)}};
    if (n.hasUser)
      e["user"] = {{"action_flags", n.actionFlags},
                   {"title", ToUtf8(n.title)},
                   {"text", ToUtf8(n.text)},
                   {"sound", ToUtf8(n.sound)},
                   {"max_sound", n.maxSound}};
    list.push_back(std::move(e));
  }
  return {{"next", s.next}, {"notifications", std::move(list)}};
}

DWORD Number(const json& j, const char* key) {
  const auto it = j.find(key);
  return it != j.end() && it->is_number_unsigned() ? it->get<DWORD>() : 0;
}

std::u16string Text(const json& j, const char* key) {
  const auto it = j.find(key);
  return it != j.end() && it->is_string() ? FromUtf8(it->get<std::string>()) : std::u16string();
}

NotificationStore FromJson(const json& j) {
  NotificationStore s;
  if (!j.is_object()) return s;
  s.next = std::max<DWORD>(1, Number(j, "next"));
  const auto list = j.find("notifications");
  if (list == j.end() || !list->is_array()) return s;
  for (const auto& e : *list) {
    if (!e.is_object()) continue;
    StoredNotification n;
    n.handle = Number(e, "handle");
    n.type = Number(e, "type");
    n.event = Number(e, "event");
    n.application = Text(e, "application");
    n.arguments = Text(e, "arguments");
    n.start = TimeOf(e.value("start", json()));
    n.end = TimeOf(e.value("end", json()));
    if (const auto u = e.find("user"); u != e.end() && u->is_object()) {
      n.hasUser = true;
      n.actionFlags = Number(*u, "action_flags");
      n.title = Text(*u, "title");
      n.text = Text(*u, "text");
      n.sound = Text(*u, "sound");
      n.maxSound = Number(*u, "max_sound");
    }
    s.entries.push_back(std::move(n));
  }
  return s;
}

bool ReadLocked(const fs::path& dir, NotificationStore* out) {
  bool missing = false;
  HostFd in = OpenStateFile(dir, kNotificationsFile, O_RDONLY, nullptr, &missing);
  if (!in && missing) {
    *out = {};
    return true;
  }
  json j;
  if (!in || !ReadJsonFd(in.get(), dir / kNotificationsFile, &j, nullptr)) return false;
  *out = FromJson(j);
  return true;
}

HANDLE AsHandle(DWORD id) { return reinterpret_cast<HANDLE>(uintptr_t(id)); }
DWORD IdOf(HANDLE h) { return DWORD(reinterpret_cast<uintptr_t>(h)); }

size_t TextBytes(const std::u16string& s) { return (s.size() + 1) * sizeof(char16_t); }

std::shared_ptr<Terminal> CurrentOrFail() {
  auto t = Current();
  if (!t) SetLastError(ERROR_NOT_READY);
  return t;
}

}  // namespace

bool UpdateNotifications(const fs::path& dir, const std::function<bool(NotificationStore&)>& change) {
  HostFd lock = OpenStateFile(dir, kNotificationsLock, O_RDWR | O_CREAT, nullptr);
  if (!lock || ::flock(lock.get(), LOCK_EX) != 0) return false;
  NotificationStore store;
  if (!ReadLocked(dir, &store)) return false;
  if (!change(store)) return true;
  const std::string text = ToJson(store).dump(2) + "\n";
  return ReplaceStateFile(dir, kNotificationsFile, text, nullptr) == ReplaceStep::kDone;
}

bool ReadNotifications(const fs::path& dir, NotificationStore* out) {
  HostFd lock = OpenStateFile(dir, kNotificationsLock, O_RDWR | O_CREAT, nullptr);
  if (!lock || ::flock(lock.get(), LOCK_SH) != 0) return false;
  return ReadLocked(dir, out);
}

std::u16string NamedEventTarget(std::u16string_view application) {
  if (application.size() <= kNamedEventsPrefix.size() ||
      !SameName(application.substr(0, kNamedEventsPrefix.size()), kNamedEventsPrefix))
    return {};
  return std::u16string(application.substr(kNamedEventsPrefix.size()));
}

}  // namespace sim

namespace sim::api {

HANDLE CeSetUserNotificationEx(HANDLE notification, CE_NOTIFICATION_TRIGGER* trigger,
                               CE_USER_NOTIFICATION* user) {
  using namespace sim;
  if (!trigger || trigger->dwSize != sizeof(CE_NOTIFICATION_TRIGGER) || trigger->dwType < CNT_EVENT ||
      trigger->dwType > CNT_CLASSICTIME) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto terminal = CurrentOrFail();
  if (!terminal) return nullptr;
  StoredNotification n;
  n.type = trigger->dwType;
  n.event = trigger->dwEvent;
  if (trigger->lpszApplication) n.application = trigger->lpszApplication;
  if (trigger->lpszArguments) n.arguments = trigger->lpszArguments;
  n.start = trigger->stStartTime;
  n.end = trigger->stEndTime;
  if (user) {
    n.hasUser = true;
    n.actionFlags = user->ActionFlags;
    if (user->pwszDialogTitle) n.title = user->pwszDialogTitle;
    if (user->pwszDialogText) n.text = user->pwszDialogText;
    if (user->pwszSound) n.sound = user->pwszSound;
    n.maxSound = user->nMaxSound;
  }
  DWORD result = 0;
  bool replacedMissing = false;
  const bool ok = UpdateNotifications(terminal->dir(), [&](NotificationStore& s) {
    if (notification) {
      for (auto& e : s.entries)
        if (e.handle == IdOf(notification)) {
          n.handle = e.handle;
          e = n;
          result = n.handle;
          return true;
        }
      replacedMissing = true;
      return false;
    }
    n.handle = s.next++;
    s.entries.push_back(n);
    result = n.handle;
    return true;
  });
  if (!ok || replacedMissing) {
    SetLastError(ok ? ERROR_INVALID_HANDLE : ERROR_GEN_FAILURE);
    return nullptr;
  }
  // Event triggers fire in this process from now on.
  Kernel::Get().terminalEvents.Follow(terminal);
  return AsHandle(result);
}

namespace {

// The current terminal's notifications; false with the last error set.
bool ReadCurrentNotifications(sim::NotificationStore* s) {
  auto terminal = sim::CurrentOrFail();
  if (!terminal) return false;
  if (sim::ReadNotifications(terminal->dir(), s)) return true;
  SetLastError(ERROR_GEN_FAILURE);
  return false;
}

}  // namespace

BOOL CeGetUserNotificationHandles(HANDLE* handles, DWORD count, DWORD* needed) {
  using namespace sim;
  if (!needed || (count && !handles)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  NotificationStore s;
  if (!ReadCurrentNotifications(&s)) return FALSE;
  *needed = DWORD(s.entries.size());
  if (count < s.entries.size()) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  for (size_t i = 0; i < s.entries.size(); ++i) handles[i] = AsHandle(s.entries[i].handle);
  return TRUE;
}

BOOL CeGetUserNotification(HANDLE notification, DWORD bufferSize, DWORD* bytesNeeded, BYTE* buffer) {
  using namespace sim;
  if (!bytesNeeded) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  NotificationStore s;
  if (!ReadCurrentNotifications(&s)) return FALSE;
  const StoredNotification* n = nullptr;
  for (const auto& e : s.entries)
    if (e.handle == IdOf(notification)) n = &e;
  if (!n) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  // The header, the trigger, the user record, then the texts they point to.
  size_t size = sizeof(CE_NOTIFICATION_INFO_HEADER) + sizeof(CE_NOTIFICATION_TRIGGER) +
                TextBytes(n->application) + TextBytes(n->arguments);
  if (n->hasUser)
    size += sizeof(CE_USER_NOTIFICATION) + TextBytes(n->title) + TextBytes(n->text) + TextBytes(n->sound);
  *bytesNeeded = DWORD(size);
  if (!buffer || bufferSize < size) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memset(buffer, 0, size);
  BYTE* at = buffer;
  auto take = [&](size_t bytes) {
    BYTE* p = at;
    at += bytes;
    return p;
  };
  auto* header = reinterpret_cast<CE_NOTIFICATION_INFO_HEADER*>(take(sizeof(CE_NOTIFICATION_INFO_HEADER)));
  auto* trigger = reinterpret_cast<CE_NOTIFICATION_TRIGGER*>(take(sizeof(CE_NOTIFICATION_TRIGGER)));
  CE_USER_NOTIFICATION* user =
      n->hasUser ? reinterpret_cast<CE_USER_NOTIFICATION*>(take(sizeof(CE_USER_NOTIFICATION))) : nullptr;
  auto text = [&](const std::u16string& s) {
    auto* p = reinterpret_cast<WCHAR*>(take(TextBytes(s)));
    std::memcpy(p, s.c_str(), TextBytes(s));
    return p;
  };
  header->hNotification = AsHandle(n->handle);
  header->dwStatus = 0;
  header->pcent = trigger;
  header->pceun = user;
  trigger->dwSize = sizeof *trigger;
  trigger->dwType = n->type;
  trigger->dwEvent = n->event;
  trigger->lpszApplication = text(n->application);
  trigger->lpszArguments = text(n->arguments);
  trigger->stStartTime = n->start;
  trigger->stEndTime = n->end;
  if (user) {
    user->ActionFlags = n->actionFlags;
    user->pwszDialogTitle = text(n->title);
    user->pwszDialogText = text(n->text);
    user->pwszSound = text(n->sound);
    user->nMaxSound = n->maxSound;
  }
  return TRUE;
}

BOOL CeClearUserNotification(HANDLE notification) {
  using namespace sim;
  auto terminal = CurrentOrFail();
  if (!terminal) return FALSE;
  bool found = false;
  const bool ok = UpdateNotifications(terminal->dir(), [&](NotificationStore& s) {
    const auto before = s.entries.size();
    std::erase_if(s.entries, [&](const StoredNotification& e) { return e.handle == IdOf(notification); });
    found = s.entries.size() != before;
    return found;
  });
  if (!ok || !found) {
    SetLastError(ok ? ERROR_INVALID_HANDLE : ERROR_GEN_FAILURE);
    return FALSE;
  }
  return TRUE;
}

}  // namespace sim::api
}  // namespace ce

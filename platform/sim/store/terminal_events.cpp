#include "terminal_events.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <thread>

#include "ce/notify.h"
#include "ce/power.h"
#include "device_path.h"
#include "kernel.h"
#include "msgqueue.h"
#include "terminal.h"
#include "user_notifications.h"

namespace ce::sim {
namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> FromHex(std::string_view hex) {
  std::vector<uint8_t> out;
  auto digit = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    out.push_back(uint8_t(digit(hex[i]) << 4 | digit(hex[i + 1])));
  return out;
}

// Follows the channel file of one terminal from `offset` on, until the
// terminal's folder goes away.
void FollowLoop(fs::path dir, int inotifyFd, off_t offset) {
  HostFd notify(inotifyFd);
  const fs::path file = dir / kEventsFile;
  std::string pending;
  char events[4096] __attribute__((aligned(alignof(inotify_event))));
  while (true) {
    pollfd p{notify.get(), POLLIN, 0};
    if (::poll(&p, 1, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    bool gone = false, ours = false;
    const ssize_t n = ::read(notify.get(), events, sizeof events);
    for (ssize_t at = 0; at < n;) {
      const auto* e = reinterpret_cast<const inotify_event*>(events + at);
      if (e->mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF)) gone = true;
      // The folder's other files (the registry's log above all) change often.
      // An overflowed queue may have lost the channel's own event.
      if ((e->len && std::strcmp(e->name, kEventsFile) == 0) || (e->mask & IN_Q_OVERFLOW)) ours = true;
      at += ssize_t(sizeof(inotify_event) + e->len);
    }
    if (gone) return;
    if (!ours) continue;
    HostFd in(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    if (!in) continue;
    char buffer[4096];
    ssize_t got;
    while ((got = ::pread(in.get(), buffer, sizeof buffer, offset)) > 0) {
      offset += got;
      pending.append(buffer, size_t(got));
    }
    for (size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1))
      Kernel::Get().terminalEvents.Deliver(dir, pending.substr(0, end));
  }
}

}  // namespace

bool AppendTerminalEvent(const fs::path& dir, const std::string& line, std::string* error) {
  const fs::path file = dir / kEventsFile;
  HostFd out(::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644));
  const std::string text = line + "\n";
  if (!out || ::write(out.get(), text.data(), text.size()) != ssize_t(text.size())) {
    if (error) *error = file.string() + ": cannot be written";
    return false;
  }
  return true;
}

void PowerNotification::Deliver(const std::vector<uint8_t>& record) const {
  auto queue = queue_.lock();
  if (!queue) return;
  DWORD message = 0;
  if (record.size() >= sizeof message) std::memcpy(&message, record.data(), sizeof message);
  // A record too short to name its kind reaches every queue, as a driver's
  // malformed broadcast would.
  if (record.size() >= sizeof message && !(message & flags_)) return;
  queue->Write(record.data(), DWORD(record.size()));
}

bool TerminalEvents::Follow(const std::shared_ptr<Terminal>& terminal) {
  if (!terminal) return false;
  const fs::path dir = terminal->dir();
  std::lock_guard lock(mu_);
  if (followed_.count(dir.string())) return true;
  // Watched and measured before returning: a line appended after the caller's
  // request is delivered, one appended before is not.
  const int fd = ::inotify_init1(IN_CLOEXEC);
  if (fd < 0) return false;
  if (::inotify_add_watch(fd, dir.c_str(),
                          IN_MODIFY | IN_CREATE | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR) < 0) {
    ::close(fd);
    return false;
  }
  struct ::stat st {};
  const off_t offset = ::stat((dir / kEventsFile).c_str(), &st) == 0 ? st.st_size : 0;
  std::thread(FollowLoop, dir, fd, offset).detach();
  followed_.insert(dir.string());
  return true;
}

void TerminalEvents::AddPowerNotification(const std::shared_ptr<PowerNotification>& n) {
  std::lock_guard lock(mu_);
  std::erase_if(power_, [](const auto& w) { return w.expired(); });
  power_.push_back(n);
}

void TerminalEvents::Deliver(const fs::path& dir, const std::string& line) {
  if (line.rfind("power ", 0) == 0) {
    const std::vector<uint8_t> record = FromHex(std::string_view(line).substr(6));
    std::vector<std::shared_ptr<PowerNotification>> live;
    {
      std::lock_guard lock(mu_);
      for (const auto& w : power_)
        if (auto n = w.lock()) live.push_back(std::move(n));
    }
    // Only the current terminal's power manager talks to this process's queues.
    const auto current = Current();
    if (!current || current->dir() != dir) return;
    for (const auto& n : live) n->Deliver(record);
  } else if (line == "wakeup") {
    NotificationStore store;
    if (!ReadNotifications(dir, &store)) return;
    for (const auto& n : store.entries)
      if (n.type == CNT_EVENT && n.event == NOTIFICATION_EVENT_WAKEUP)
        if (const auto name = NamedEventTarget(n.application); !name.empty()) SetNamedEvent(name);
  }
}

}  // namespace ce::sim

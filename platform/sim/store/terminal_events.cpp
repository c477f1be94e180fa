#include "terminal_events.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <cstring>
#include <thread>

#include "ce/notify.h"
#include "ce/power.h"
#include "device_path.h"
#include "kernel.h"
#include "msgqueue.h"
#include "state_files.h"
#include "terminal.h"
#include "user_notifications.h"

namespace ce::sim {
namespace fs = std::filesystem;

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Whether the descriptor and the name are one file now.
bool SameFile(int fd, const fs::path& path) {
  struct ::stat a {
  }, b{};
  return ::fstat(fd, &a) == 0 && ::lstat(path.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
         a.st_ino == b.st_ino;
}

// The first line of a channel file a rotation began: "# after <inode>", the
// file it follows (a comment, which no listener delivers).
constexpr std::string_view kAfter = "# after ";

// The inode of the file that the file open as fd follows, or 0.
ino_t FollowsOn(int fd) {
  char line[64];
  const ssize_t n = ::pread(fd, line, sizeof line - 1, 0);
  if (n <= 0) return 0;
  const std::string_view text(line, size_t(n));
  if (!text.starts_with(kAfter)) return 0;
  const size_t end = text.find('\n');
  if (end == std::string_view::npos) return 0;
  const std::string_view digits = text.substr(kAfter.size(), end - kAfter.size());
  ino_t ino = 0;
  if (std::from_chars(digits.data(), digits.data() + digits.size(), ino).ec != std::errc()) return 0;
  return ino;
}

ino_t InodeOf(int fd) {
  struct ::stat st {};
  return ::fstat(fd, &st) == 0 ? st.st_ino : 0;
}

// Moves the channel file (inode `full`), whose lock the caller holds, aside
// to events.log.1, and puts a new one in its place that names it as the file
// it follows; the name never lacks a file. A failure leaves the file as it is.
void Rotate(const fs::path& dir, ino_t full) {
  std::string tmp = StateTempPattern(dir, kEventsFile);
  HostFd next(::mkstemp(tmp.data()));
  if (!next) return;
  const std::string head = std::string(kAfter) + std::to_string(full) + "\n";
  const fs::path file = dir / kEventsFile, old = dir / kEventsOldFile;
  if (::write(next.get(), head.data(), head.size()) != ssize_t(head.size()) ||
      ::fchmod(next.get(), 0644) != 0 || (::unlink(old.c_str()) != 0 && errno != ENOENT) ||
      ::link(file.c_str(), old.c_str()) != 0 || ::rename(tmp.c_str(), file.c_str()) != 0)
    ::unlink(tmp.c_str());
}

// The file of the channel a listener reads, and how far.
struct Reading {
  HostFd file;
  off_t offset = 0;
};

// Reads what the file holds past the offset, record by record, in bounded steps.
void ReadOn(Reading& r, EventRecordReader& reader, const fs::path& dir) {
  if (!r.file) return;
  char buffer[4096];
  ssize_t got;
  while ((got = ::pread(r.file.get(), buffer, sizeof buffer, r.offset)) > 0 || (got < 0 && errno == EINTR)) {
    if (got < 0) continue;
    r.offset += got;
    reader.Feed(std::string_view(buffer, size_t(got)), [&](std::string_view record) {
      Kernel::Get().terminalEvents.Deliver(dir, std::string(record));
    });
  }
}

// Follows the channel file of one terminal from `offset` of `file` on, until
// the terminal's folder goes away.
void FollowLoop(fs::path dir, int inotifyFd, Reading r) {
  HostFd notify(inotifyFd);
  EventRecordReader reader;
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
    ReadOn(r, reader, dir);
    // The file at the name may be another now (rotated, deleted and made
    // anew, replaced): the one read so far is read to its end (its last
    // writer is done: a writer appends only to the file at the name, under its
    // lock), then the new one from its start. A link or a FIFO at the name is
    // not read (OpenStateFile refuses it).
    HostFd now = OpenStateFile(dir, kEventsFile, O_RDONLY, nullptr);
    if (now && (!r.file || !SameFile(r.file.get(), dir / kEventsFile))) {
      ReadOn(r, reader, dir);
      reader.Reset();
      // Two rotations since the file read: the one between is events.log.1 (a
      // listener a whole file behind loses only what is older than that).
      const ino_t held = r.file ? InodeOf(r.file.get()) : 0, after = FollowsOn(now.get());
      if (held != 0 && after != 0 && after != held) {
        Reading between{OpenStateFile(dir, kEventsOldFile, O_RDONLY, nullptr), 0};
        if (between.file && InodeOf(between.file.get()) == after && FollowsOn(between.file.get()) == held) {
          ReadOn(between, reader, dir);
          reader.Reset();
        }
      }
      r = Reading{std::move(now), 0};
      ReadOn(r, reader, dir);
      continue;
    }
    // Truncated under the listener: what it holds now is new.
    struct ::stat st {};
    if (r.file && ::fstat(r.file.get(), &st) == 0 && st.st_size < r.offset) {
      reader.Reset();
      r.offset = 0;
      ReadOn(r, reader, dir);
    }
  }
}

}  // namespace

std::string WhyNotAnEventRecord(std::string_view line) {
  if (line.size() > kMaxEventRecordBytes)
    return "an event record is at most " + std::to_string(kMaxEventRecordBytes) + " bytes; this one is " +
           std::to_string(line.size());
  if (line.find('\n') != std::string_view::npos || line.find('\0') != std::string_view::npos)
    return "an event record is one line of text, without a line break or a NUL";
  return {};
}

EventRecord ParseEventRecord(std::string_view line) {
  EventRecord r;
  if (line == "wakeup") {
    r.kind = EventRecord::Kind::kWakeUp;
    return r;
  }
  constexpr std::string_view kPower = "power ";
  if (!line.starts_with(kPower)) return r;
  const std::string_view hex = line.substr(kPower.size());
  if (hex.size() % 2 != 0) return r;
  r.power.reserve(hex.size() / 2);
  for (size_t i = 0; i < hex.size(); i += 2) {
    const int hi = HexDigit(hex[i]), lo = HexDigit(hex[i + 1]);
    if (hi < 0 || lo < 0) return EventRecord{};
    r.power.push_back(uint8_t(hi << 4 | lo));
  }
  r.kind = EventRecord::Kind::kPower;
  return r;
}

std::string PowerEventRecord(const std::vector<uint8_t>& bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string line = "power ";
  for (uint8_t b : bytes) {
    line += kHex[b >> 4];
    line += kHex[b & 15];
  }
  return line;
}

bool AppendTerminalEvent(const fs::path& dir, const std::string& line, std::string* error) {
  if (const std::string why = WhyNotAnEventRecord(line); !why.empty()) {
    if (error) *error = why;
    return false;
  }
  const fs::path file = dir / kEventsFile;
  const std::string text = line + "\n";
  // A writer that found the file it opened rotated away under it opens the new one.
  for (int attempt = 0; attempt < 1000; ++attempt) {
    HostFd out = OpenStateFile(dir, kEventsFile, O_WRONLY | O_APPEND | O_CREAT, error);
    if (!out) return false;
    if (::flock(out.get(), LOCK_EX) != 0) {
      if (error) *error = file.string() + ": cannot be locked: " + std::strerror(errno);
      return false;
    }
    if (!SameFile(out.get(), file)) continue;
    for (std::string_view rest = text; !rest.empty();) {
      const ssize_t n = ::write(out.get(), rest.data(), rest.size());
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        if (error) *error = file.string() + ": cannot be written: " + std::strerror(n == 0 ? ENOSPC : errno);
        return false;
      }
      rest.remove_prefix(size_t(n));
    }
    // Past its bound, the channel moves aside; listeners read it to its end
    // through the descriptors they hold, then follow the next file.
    struct ::stat st {};
    if (::fstat(out.get(), &st) == 0 && st.st_size >= kEventsRotateBytes) Rotate(dir, st.st_ino);
    return true;
  }
  if (error) *error = file.string() + ": kept being replaced while it was written";
  return false;
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
                          IN_MODIFY | IN_CREATE | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR) <
      0) {
    ::close(fd);
    return false;
  }
  Reading r;
  // Made when missing, so that the listener holds the first file from its start.
  r.file = OpenStateFile(dir, kEventsFile, O_RDONLY | O_CREAT, nullptr);
  struct ::stat st {};
  if (r.file && ::fstat(r.file.get(), &st) == 0) r.offset = st.st_size;
  std::thread(FollowLoop, dir, fd, std::move(r)).detach();
  followed_.insert(dir.string());
  return true;
}

void TerminalEvents::AddPowerNotification(const std::shared_ptr<PowerNotification>& n) {
  std::lock_guard lock(mu_);
  std::erase_if(power_, [](const auto& w) { return w.expired(); });
  power_.push_back(n);
}

void TerminalEvents::Deliver(const fs::path& dir, const std::string& line) {
  const EventRecord parsed = ParseEventRecord(line);
  if (parsed.kind == EventRecord::Kind::kPower) {
    const std::vector<uint8_t>& record = parsed.power;
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
  } else if (parsed.kind == EventRecord::Kind::kWakeUp) {
    NotificationStore store;
    if (!ReadNotifications(dir, &store)) return;
    for (const auto& n : store.entries)
      if (n.type == CNT_EVENT && n.event == NOTIFICATION_EVENT_WAKEUP)
        if (const auto name = NamedEventTarget(n.application); !name.empty()) SetNamedEvent(name);
  }
}

}  // namespace ce::sim

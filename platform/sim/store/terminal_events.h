// The terminal's event channel, through which power transitions and wake-ups
// reach every process using the terminal. Whoever makes the terminal deliver
// one (the control API, from any process) appends a record, one line, to
// "<terminal>/events.log":
//   power <hex bytes of a POWER_BROADCAST record>
//   wakeup
// A record is at most kMaxEventRecordBytes long (refused when written; a
// longer line a listener finds is skipped whole, without being held).
// Each process that asked for power notifications or registered a user
// notification follows the file with inotify from its end at that moment, and
// delivers each new record to its own queues (power) and named events (the
// wake-up notifications kept in the terminal).
//
// The channel stays bounded: a writer appends under an flock on the file, and
// the writer that takes it past kEventsRotateBytes moves it aside to
// "events.log.1" (replacing the one before) and puts in its place a new file
// whose first line, "# after <inode>", names the file it follows. A listener
// keeps the file it reads open, so a file moved aside (or deleted) is read to
// its end before the listener moves on to the new one from its start, and a
// listener a whole file behind reads events.log.1 between the two: no live
// listener loses a record to rotation unless it falls more than a whole file
// (kEventsRotateBytes) behind. A file truncated under a listener (shorter than
// what it has read) is read again from its start; a file replaced (another
// inode at the name) is read from the new file's start.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "ce/types.h"
#include "handles.h"

namespace ce::sim {

class MsgQueue;
class Terminal;

inline constexpr char kEventsFile[] = "events.log";
inline constexpr char kEventsOldFile[] = "events.log.1";
// The longest record, without its newline: a power record of 2,045 bytes.
// A line starting with "#" is a comment, which no listener delivers.
inline constexpr size_t kMaxEventRecordBytes = 4096;
// The size past which a writer rotates the channel.
inline constexpr off_t kEventsRotateBytes = 256 * 1024;

// Appends one record; refuses a record longer than kMaxEventRecordBytes, or
// one holding a line break or a NUL, and a channel file that is a link, a FIFO
// or anything but a regular file (OpenStateFile).
bool AppendTerminalEvent(const std::filesystem::path& terminalDir, const std::string& line,
                         std::string* error);

// Why line cannot be a record of the channel; empty when it can.
std::string WhyNotAnEventRecord(std::string_view line);

// Splits the channel's bytes, as they are read, into records: each complete
// line of at most kMaxEventRecordBytes is handed over; a longer line is
// skipped whole. It never holds more than kMaxEventRecordBytes bytes.
class EventRecordReader {
 public:
  template <class Deliver>
  void Feed(std::string_view bytes, Deliver&& deliver) {
    while (!bytes.empty()) {
      const size_t end = bytes.find('\n');
      const std::string_view part = bytes.substr(0, end);
      if (!skipping_ && pending_.size() + part.size() > kMaxEventRecordBytes) {
        skipping_ = true;
        pending_.clear();
        pending_.shrink_to_fit();
      }
      if (!skipping_) pending_.append(part);
      if (end == std::string_view::npos) return;
      if (skipping_) {
        ++skipped_;
        skipping_ = false;
      } else {
        deliver(std::string_view(pending_));
      }
      pending_.clear();
      bytes.remove_prefix(end + 1);
    }
  }
  // Drops a record begun in a file that is gone (its writer died in the middle).
  void Reset() {
    pending_.clear();
    skipping_ = false;
  }
  size_t held() const { return pending_.size(); }
  uint64_t skipped() const { return skipped_; }

 private:
  std::string pending_;
  bool skipping_ = false;
  uint64_t skipped_ = 0;
};

// What a record says: a power record (its bytes), a wake-up, or nothing this
// build knows (a power record whose hex is broken included).
struct EventRecord {
  enum class Kind { kUnknown, kPower, kWakeUp } kind = Kind::kUnknown;
  std::vector<uint8_t> power;
};
EventRecord ParseEventRecord(std::string_view line);
// The record of a power broadcast's bytes.
std::string PowerEventRecord(const std::vector<uint8_t>& bytes);

// A RequestPowerNotifications registration: its handle's object.
class PowerNotification final : public KernelObject {
 public:
  PowerNotification(std::weak_ptr<MsgQueue> queue, DWORD flags) : queue_(std::move(queue)), flags_(flags) {}
  void Deliver(const std::vector<uint8_t>& record) const;

 private:
  std::weak_ptr<MsgQueue> queue_;
  DWORD flags_;
};

class TerminalEvents {
 public:
  // Starts following the terminal's channel, once per terminal folder.
  bool Follow(const std::shared_ptr<Terminal>& terminal);
  void AddPowerNotification(const std::shared_ptr<PowerNotification>& n);
  // Delivers one line of the channel of the terminal in dir.
  void Deliver(const std::filesystem::path& dir, const std::string& line);

 private:
  std::mutex mu_;
  std::set<std::string> followed_;
  std::vector<std::weak_ptr<PowerNotification>> power_;
};

}  // namespace ce::sim

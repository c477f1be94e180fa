// The terminal's event channel, through which power transitions and wake-ups
// reach every process using the terminal. Whoever makes the terminal deliver
// one (the control API, from any process) appends a line to
// "<terminal>/events.log":
//   power <hex bytes of a POWER_BROADCAST record>
//   wakeup
// Each process that asked for power notifications or registered a user
// notification follows the file with inotify from its end at that moment, and
// delivers each new line to its own queues (power) and named events (the
// wake-up notifications kept in the terminal).
#pragma once

#include <filesystem>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "ce/types.h"
#include "handles.h"

namespace ce::sim {

class MsgQueue;
class Terminal;

inline constexpr char kEventsFile[] = "events.log";

bool AppendTerminalEvent(const std::filesystem::path& terminalDir, const std::string& line,
                         std::string* error);

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

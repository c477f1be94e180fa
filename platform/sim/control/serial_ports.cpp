// Plugging a terminal's serial port into a pseudo-terminal, and unplugging it.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "case_fold.h"
#include "ce/sim/control.h"
#include "device_path.h"
#include "drivers.h"
#include "hardware.h"
#include "port_locks.h"
#include "serial_port.h"
#include "sibling_program.h"
#include "terminal.h"
#include "utf.h"

extern char** environ;

namespace ce::sim {
namespace {

constexpr char kRelayName[] = "qelserialrelay";
constexpr auto kRelayEndWait = std::chrono::seconds(5);

bool Fail(std::string* error, const std::string& why) {
  if (error) *error = why;
  return false;
}

// The port ("COM1" or "COM1:") as the device table spells it, when it is a
// serial port of the terminal.
std::optional<std::string> SerialDevice(std::string_view port, std::string* error) {
  std::u16string wide = FromUtf8(port);
  if (!wide.empty() && wide.back() != u':') wide += u':';
  for (const std::string& device : hw::MemberNames(kDeviceTable)) {
    if (!SameName(FromUtf8(device), wide)) continue;
    if (hw::Read(hw::kDevice, device) == "serial") return device;
    Fail(error, std::string(port) + ": the terminal's device of that name is no serial port");
    return std::nullopt;
  }
  Fail(error, std::string(port) +
                  ": the terminal has no such device (its serial ports are the devices of kind " +
                  "\"serial\" in " + std::string(kDeviceTable) + ")");
  return std::nullopt;
}

// Runs the relay and reads its one line of answer.
std::optional<std::string> StartRelay(const std::filesystem::path& dir, const std::string& port,
                                      std::string* error) {
  auto said = StartSibling(kRelayName, {dir.string(), port}, error);
  if (!said || said->empty()) return std::nullopt;
  std::string line = *said;
  if (line.back() == '\n') line.pop_back();
  if (line.starts_with("ok ")) return line.substr(3);
  Fail(error, port + ": " + (line.starts_with("error ") ? line.substr(6) : line));
  return std::nullopt;
}

}  // namespace

std::optional<std::string> PlugSerialPortIntoPty(std::string_view port, std::string* error) {
  const auto t = Current();
  if (!t) {
    Fail(error, "no terminal is open");
    return std::nullopt;
  }
  const auto device = SerialDevice(port, error);
  if (!device) return std::nullopt;
  return StartRelay(t->dir(), *device, error);
}

bool UnplugSerialPort(std::string_view port, std::string* error) {
  const auto t = Current();
  if (!t) return Fail(error, "no terminal is open");
  const auto device = SerialDevice(port, error);
  if (!device) return false;
  if (!hw::Write(hw::kSerialPort, "", error, *device)) return false;
  const HostFd locks = OpenPortLocks(t->dir(), error);
  if (!locks) return false;
  const auto until = std::chrono::steady_clock::now() + kRelayEndWait;
  while (PortLockHeld(locks.get(), FromUtf8(*device), PortLock::kRelay)) {
    if (std::chrono::steady_clock::now() > until) return Fail(error, *device + ": its relay has not ended");
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

}  // namespace ce::sim

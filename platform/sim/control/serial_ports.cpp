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
  int answer[2];
  if (::pipe2(answer, O_CLOEXEC) != 0) {
    Fail(error, std::string("pipe: ") + std::strerror(errno));
    return std::nullopt;
  }
  const std::string program = SiblingProgram(kRelayName).string(), folder = dir.string();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, answer[1], 3);
  char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>(folder.c_str()),
                  const_cast<char*>(port.c_str()), nullptr};
  pid_t child = 0;
  const int spawned = ::posix_spawn(&child, program.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(answer[1]);
  const HostFd reply(answer[0]);
  if (spawned != 0) {
    Fail(error, "cannot start " + program + ": " + std::strerror(spawned));
    return std::nullopt;
  }
  // The child leaves the relay running in a grandchild and ends at once.
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  std::string line;
  char buffer[512];
  ssize_t n;
  while ((n = ::read(reply.get(), buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR))
    if (n > 0) line.append(buffer, size_t(n));
  if (!line.empty() && line.back() == '\n') line.pop_back();
  if (line.starts_with("ok ")) return line.substr(3);
  Fail(error, line.starts_with("error ")
                  ? port + ": " + line.substr(6)
                  : program + " did not start (exit status " +
                        std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1) + ")");
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

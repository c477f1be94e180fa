#include "relay.h"

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <nlohmann/json.hpp>

#include "hardware_state.h"
#include "serial_port.h"
#include "terminal.h"

namespace ce::sim::relay {
namespace {

constexpr int kRecheckMs = 1000;

// Bytes on their way from one master to the other.
struct Flow {
  int from, to;
  char buffer[4096];
  size_t size = 0, sent = 0;
};

// Moves what it can without blocking; false when a line has failed.
bool Pump(Flow& f) {
  if (f.size == 0) {
    const ssize_t n = ::read(f.from, f.buffer, sizeof f.buffer);
    if (n > 0) f.size = size_t(n), f.sent = 0;
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) return false;
  }
  if (f.size > 0) {
    const ssize_t n = ::write(f.to, f.buffer + f.sent, f.size - f.sent);
    if (n > 0 && (f.sent += size_t(n)) == f.size) f.size = 0;
    if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
  }
  return true;
}

// What poll waits for on a master: input when its flow out is empty, room
// when the other flow has bytes for it.
short Wanted(const Flow& out, const Flow& in) {
  return short((out.size ? 0 : POLLIN) | (in.size ? POLLOUT : 0));
}

}  // namespace

bool StillPlugged(const Line& line) {
  if (!IsTerminalDir(line.terminal)) return false;
  nlohmann::json hardware;
  if (!ReadJsonFile(line.terminal / "hardware.json", &hardware, nullptr)) return false;
  const nlohmann::json* path = FindField(hardware, std::string(kSerialPortTable) + "." + line.port);
  return path && path->is_string() && path->get<std::string>() == line.portSide.path;
}

void Run(const Line& line) {
  const HostFd changes(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
  if (changes)
    ::inotify_add_watch(changes.get(), line.terminal.c_str(),
                        IN_MOVED_TO | IN_CLOSE_WRITE | IN_DELETE | IN_DELETE_SELF | IN_MOVE_SELF);
  const int port = line.portSide.master.get(), far = line.farSide.master.get();
  Flow out{port, far}, in{far, port};
  for (;;) {
    pollfd fds[3] = {{port, Wanted(out, in), 0}, {far, Wanted(in, out), 0}, {changes.get(), POLLIN, 0}};
    const int n = ::poll(fds, changes ? 3 : 2, kRecheckMs);
    if (n < 0 && errno != EINTR) return;
    if (n == 0 || fds[2].revents) {
      char events[4096];
      while (changes && ::read(changes.get(), events, sizeof events) > 0) {
      }
      if (!StillPlugged(line)) return;
    }
    if (!Pump(out) || !Pump(in)) return;
  }
}

}  // namespace ce::sim::relay

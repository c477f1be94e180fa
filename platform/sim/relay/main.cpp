// qelserialrelay TERMINAL-DIR PORT: plugs a serial port of the terminal into a
// pseudo-terminal, and gives the far end of that line a path of its own on a
// second pseudo-terminal, with this relay between their masters (a master has
// no path to open). It leaves its starter at once (so nobody has to reap it),
// plugs the port in (kernel.serial_ports.<PORT>), and answers on descriptor 3
// with one line: "ok <far path>" or "error <why>". It then relays until the
// terminal is gone or its port is plugged into something else, holding its
// shared relay lock on the port (port_locks.h) meanwhile, so that whoever
// unplugs the port can see it end without knowing or signalling any process.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "hardware_state.h"
#include "port_locks.h"
#include "relay.h"
#include "serial_port.h"
#include "sibling_program.h"
#include "terminal.h"
#include "utf.h"

using ce::sim::RefuseStarter;

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: qelserialrelay TERMINAL-DIR PORT\n");
    return 2;
  }
  if (!ce::sim::DetachFromStarter()) return 0;

  namespace sim = ce::sim;
  sim::relay::Line line{argv[1], argv[2], {}, {}};
  std::string error;
  if (!sim::IsTerminalDir(line.terminal)) return RefuseStarter(sim::WhyNotATerminal(line.terminal));
  const sim::HostFd locks = sim::OpenPortLocks(line.terminal, &error);
  if (!locks) return RefuseStarter(error);
  if (!sim::TakePortLock(locks.get(), sim::FromUtf8(line.port), sim::PortLock::kRelay))
    return RefuseStarter("cannot take the relay lock of " + line.port);
  if (!sim::relay::OpenPtyPair(&line.portSide, &error) || !sim::relay::OpenPtyPair(&line.farSide, &error))
    return RefuseStarter(error);
  const std::string field = std::string(sim::kSerialPortTable) + "." + line.port;
  if (!sim::ChangeHardwareFile(line.terminal / "hardware.json", field, line.portSide.path, &error))
    return RefuseStarter(error);
  sim::AnswerStarter("ok " + line.farSide.path);
  sim::relay::Run(line);
  return 0;
}

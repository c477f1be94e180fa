// The relay between the two pseudo-terminals of a port: what the port's line
// sends goes out on the far line and back, for as long as the terminal exists
// and its hardware state still plugs the port into this relay's line.
#pragma once

#include <filesystem>
#include <string>

#include "pty_pair.h"

namespace ce::sim::relay {

struct Line {
  std::filesystem::path terminal;
  std::string port;  // as the device table spells it ("COM1:")
  PtyPair portSide, farSide;
};

// True while the terminal is there and kernel.serial_ports.<port> names the
// port side's path.
bool StillPlugged(const Line& line);

// Copies bytes both ways until StillPlugged turns false (looked at whenever
// the terminal's folder changes, and every second besides).
void Run(const Line& line);

}  // namespace ce::sim::relay

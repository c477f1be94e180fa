// A pseudo-terminal whose master the relay holds, with its slave kept open
// too: a master whose slave nobody holds reads as hung up, and the relay must
// outlive whoever comes and goes on either line.
#pragma once

#include <string>

#include "device_path.h"

namespace ce::sim::relay {

struct PtyPair {
  HostFd master;  // non-blocking
  HostFd slave;   // raw: no echo, no line editing, bytes as they are
  std::string path;
};

// False with error set when the host gives no pseudo-terminal.
bool OpenPtyPair(PtyPair* pair, std::string* error);

}  // namespace ce::sim::relay

// The terminal's ports.lock: one byte per possible port name (three letters
// and a digit, without regard to case) in each of two ranges, locked with
// open-file-description locks, which every process on the terminal sees and
// which go with the description that took them (a process killed leaves none).
//  - kOpen: held exclusively while the port is open (a second open is refused);
//  - kRelay: held shared while a relay of a pseudo-terminal serves the port.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "device_path.h"

namespace ce::sim {

enum class PortLock { kOpen, kRelay };

// ports.lock of the terminal in dir, made when missing; empty with error set on failure.
HostFd OpenPortLocks(const std::filesystem::path& dir, std::string* error);

// Takes the port's byte of that range without waiting (exclusive for kOpen,
// shared for kRelay), for as long as fd's description stays open. False with
// errno set: EAGAIN when another holds it.
bool TakePortLock(int fd, std::u16string_view port, PortLock kind);

// Whether any other description holds a lock on the port's byte of the range.
bool PortLockHeld(int fd, std::u16string_view port, PortLock kind);

}  // namespace ce::sim

// The system's errno values as Winsock's error numbers, in one table.
#pragma once

namespace ce::sim {

// Winsock's number for an errno (0 for 0); WSAEINVAL for one Winsock has no
// counterpart of.
int WinsockError(int errnoValue);

}  // namespace ce::sim

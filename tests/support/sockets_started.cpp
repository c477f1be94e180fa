// Apart from the peer: the system layer's socket header gives some of the
// Linux socket names Winsock's values.
#include "ce/socket.h"
#include "loopback_peer.h"

namespace qeltest {

namespace {
ce::WSADATA g_data;
}

SocketsStarted::SocketsStarted() : ok_(ce::WSAStartup(0x0202, &g_data) == 0) {}

SocketsStarted::~SocketsStarted() {
  if (ok_) ce::WSACleanup();
}

}  // namespace qeltest

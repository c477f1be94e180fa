// What a SOCKET value names: one of the machine's own sockets with the state
// Winsock keeps beside it. The kernel's socket table holds them.
#pragma once

#include <atomic>
#include <memory>

#include "ce/socket.h"
#include "host_socket.h"

namespace ce::sim {

class Socket {
 public:
  Socket(int fd, host::SocketKind kind) : fd_(fd), kind_(kind) {}
  ~Socket() { host::Close(fd_); }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  int fd() const { return fd_; }
  bool datagram() const { return kind_ == host::SocketKind::kDatagram; }

  std::atomic<bool> nonBlocking{false};
  // A non-blocking connect under way: select reports its end as Winsock
  // does (writable when connected, in the except set when it failed).
  std::atomic<bool> connecting{false};
  // closesocket ran while another thread used the socket: that thread's call
  // fails with WSAEINTR however the system ended it.
  std::atomic<bool> closed{false};
  // What a send the system refuses as a broken pipe fails with: WSAESHUTDOWN
  // after shutdown(SD_SEND), WSAENOTCONN when never connected, else a reset.
  std::atomic<bool> sendShut{false};
  std::atomic<bool> wasConnected{false};
  // SO_REUSEADDR as the caller set it. A stream socket always reuses on the
  // system side, since Winsock binds a port that closed connections still
  // hold and the system does not without it.
  std::atomic<bool> reuseAddress{false};

 private:
  const int fd_;
  const host::SocketKind kind_;
};

// Whether WSAStartup has been called more often than WSACleanup; if not, the
// last error is WSANOTINITIALISED.
bool WinsockStarted();
// The socket a value names; null with WSANOTINITIALISED or WSAENOTSOCK.
std::shared_ptr<Socket> FindSocket(SOCKET s);
// Set the last error to error and give SOCKET_ERROR, or INVALID_SOCKET.
int SocketFailure(int error);
SOCKET InvalidSocket(int error);
// The same for a call on socket that the system failed with errno;
// WSAEINTR when closesocket ended it.
int SocketFailure(const Socket& socket, int errnoValue);

}  // namespace ce::sim

// The far side of a stream under test: a plain Linux socket on the loopback
// interface, reached without the system layer, so that what a test sees is
// what went over the wire.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qeltest {

class LoopbackPeer {
 public:
  // Listening (TCP) or bound (UDP) on the address, at port 0: a free one.
  // A listener's backlog of 0 holds one connection it has not accepted: a
  // connect beyond that waits unanswered, as one to a far host that is slow.
  static LoopbackPeer TcpListener(const char* ip = "127.0.0.1", int backlog = 4);
  static LoopbackPeer Udp(const char* ip = "127.0.0.1");
  // A TCP client connected to 127.0.0.1:port; tried for up to two seconds,
  // for a server whose thread is still starting. Invalid when it never got in.
  static LoopbackPeer TcpClient(uint16_t port);
  // A TCP client whose connect to 127.0.0.1:port has started, done or not.
  static LoopbackPeer TcpConnectStarted(uint16_t port);

  LoopbackPeer() = default;
  LoopbackPeer(LoopbackPeer&& other) noexcept;
  LoopbackPeer& operator=(LoopbackPeer&& other) noexcept;
  ~LoopbackPeer();

  bool valid() const { return fd_ >= 0; }
  uint16_t port() const;  // the local port
  // The connection that came within the time, or an invalid peer.
  LoopbackPeer Accept(int timeoutMs);

  bool Send(std::string_view bytes);
  // Up to atMost bytes of what came within the time (one receive).
  std::string Receive(size_t atMost, int timeoutMs);
  // Receives until n bytes came or the time passed.
  std::string ReceiveAll(size_t n, int timeoutMs);
  // True when the far side closed in an orderly way within the time.
  bool SeesClose(int timeoutMs);

  // UDP.
  bool SendTo(std::string_view bytes, uint16_t port);
  // A datagram, and the port it came from; nothing when none came in time.
  std::string ReceiveFrom(int timeoutMs, uint16_t* fromPort, bool* got);

  // Ends the connection with a reset instead of an orderly close.
  void Reset();
  void Close();

 private:
  explicit LoopbackPeer(int fd) : fd_(fd) {}
  int fd_ = -1;
};

// A port of 127.0.0.1 where nobody listens (bound and let go).
uint16_t UnusedPort();

// The sockets of the calling process started (WSAStartup), as a host does
// before it hands out streams; cleaned up at the end.
class SocketsStarted {
 public:
  SocketsStarted();
  ~SocketsStarted();
  SocketsStarted(const SocketsStarted&) = delete;
  SocketsStarted& operator=(const SocketsStarted&) = delete;
  bool ok() const { return ok_; }

 private:
  bool ok_;
};

}  // namespace qeltest

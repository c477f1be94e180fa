#include "loopback_peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <utility>

namespace qeltest {
namespace {

sockaddr_in Loopback(const char* ip, uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  inet_pton(AF_INET, ip, &a.sin_addr);
  return a;
}

int Bound(int type, const char* ip) {
  const int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
  const sockaddr_in a = Loopback(ip, 0);
  if (fd >= 0 && ::bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0) return fd;
  if (fd >= 0) ::close(fd);
  return -1;
}

bool Readable(int fd, int timeoutMs) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, timeoutMs) > 0;
}

}  // namespace

LoopbackPeer LoopbackPeer::TcpListener(const char* ip, int backlog) {
  const int fd = Bound(SOCK_STREAM, ip);
  if (fd >= 0 && ::listen(fd, backlog) != 0) return LoopbackPeer();
  return LoopbackPeer(fd);
}

LoopbackPeer LoopbackPeer::Udp(const char* ip) { return LoopbackPeer(Bound(SOCK_DGRAM, ip)); }

LoopbackPeer LoopbackPeer::TcpClient(uint16_t port) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  do {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in a = Loopback("127.0.0.1", port);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0) return LoopbackPeer(fd);
    ::close(fd);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  } while (std::chrono::steady_clock::now() < until);
  return LoopbackPeer();
}

LoopbackPeer LoopbackPeer::TcpConnectStarted(uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  const sockaddr_in a = Loopback("127.0.0.1", port);
  ::connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a);  // EINPROGRESS, or done
  return LoopbackPeer(fd);
}

LoopbackPeer::LoopbackPeer(LoopbackPeer&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

LoopbackPeer& LoopbackPeer::operator=(LoopbackPeer&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

LoopbackPeer::~LoopbackPeer() { Close(); }

uint16_t LoopbackPeer::port() const {
  sockaddr_in a{};
  socklen_t length = sizeof a;
  if (fd_ < 0 || ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &length) != 0) return 0;
  return ntohs(a.sin_port);
}

LoopbackPeer LoopbackPeer::Accept(int timeoutMs) {
  if (!Readable(fd_, timeoutMs)) return LoopbackPeer();
  return LoopbackPeer(::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC));
}

bool LoopbackPeer::Send(std::string_view bytes) {
  return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == ssize_t(bytes.size());
}

std::string LoopbackPeer::Receive(size_t atMost, int timeoutMs) {
  std::string out(atMost, '\0');
  if (!Readable(fd_, timeoutMs)) return {};
  const ssize_t n = ::recv(fd_, out.data(), atMost, 0);
  out.resize(n > 0 ? size_t(n) : 0);
  return out;
}

std::string LoopbackPeer::ReceiveAll(size_t n, int timeoutMs) {
  std::string out;
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (out.size() < n) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    const std::string got = Receive(n - out.size(), int(left.count()));
    if (got.empty()) break;
    out += got;
  }
  return out;
}

bool LoopbackPeer::SeesClose(int timeoutMs) {
  char byte;
  return Readable(fd_, timeoutMs) && ::recv(fd_, &byte, 1, 0) == 0;
}

bool LoopbackPeer::SendTo(std::string_view bytes, uint16_t port) {
  const sockaddr_in a = Loopback("127.0.0.1", port);
  return ::sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&a), sizeof a) ==
         ssize_t(bytes.size());
}

std::string LoopbackPeer::ReceiveFrom(int timeoutMs, uint16_t* fromPort, bool* got) {
  *got = false;
  if (!Readable(fd_, timeoutMs)) return {};
  std::string out(65536, '\0');
  sockaddr_in from{};
  socklen_t length = sizeof from;
  const ssize_t n = ::recvfrom(fd_, out.data(), out.size(), 0, reinterpret_cast<sockaddr*>(&from), &length);
  if (n < 0) return {};
  *got = true;
  *fromPort = ntohs(from.sin_port);
  out.resize(size_t(n));
  return out;
}

void LoopbackPeer::Reset() {
  const linger abort{1, 0};
  ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
  Close();
}

void LoopbackPeer::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

uint16_t UnusedPort() { return LoopbackPeer::TcpListener().port(); }

}  // namespace qeltest

#include "host_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

namespace ce::sim::host {
namespace {

int Result(int r) { return r < 0 ? -errno : r; }
long Result(ssize_t r) { return r < 0 ? -long(errno) : long(r); }

sockaddr_in ToSystem(Ipv4Endpoint e) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = e.port;
  a.sin_addr.s_addr = e.address;
  return a;
}

Ipv4Endpoint FromSystem(const sockaddr_in& a) { return {a.sin_addr.s_addr, a.sin_port}; }

int SystemFlags(int flags) {
  return (flags & kOutOfBand ? MSG_OOB : 0) | (flags & kPeek ? MSG_PEEK : 0) |
         (flags & kDontRoute ? MSG_DONTROUTE : 0) | (flags & kWaitAll ? MSG_WAITALL : 0);
}

struct SystemOption {
  int level, name;
};

SystemOption ToSystem(Option option) {
  switch (option) {
    case Option::kKeepAlive:
      return {SOL_SOCKET, SO_KEEPALIVE};
    case Option::kReuseAddress:
      return {SOL_SOCKET, SO_REUSEADDR};
    case Option::kError:
      return {SOL_SOCKET, SO_ERROR};
    case Option::kReceiveBuffer:
      return {SOL_SOCKET, SO_RCVBUF};
    case Option::kSendBuffer:
      return {SOL_SOCKET, SO_SNDBUF};
    case Option::kNoDelay:
      return {IPPROTO_TCP, TCP_NODELAY};
  }
  return {-1, -1};
}

bool IsBufferSize(Option option) { return option == Option::kReceiveBuffer || option == Option::kSendBuffer; }

template <class Call>
int Endpoint(int fd, Ipv4Endpoint* out, Call call) {
  sockaddr_in a{};
  socklen_t length = sizeof a;
  if (call(fd, reinterpret_cast<sockaddr*>(&a), &length) < 0) return -errno;
  *out = FromSystem(a);
  return 0;
}

}  // namespace

int OpenSocket(SocketKind kind, int protocol) {
  return Result(
      ::socket(AF_INET, (kind == SocketKind::kStream ? SOCK_STREAM : SOCK_DGRAM) | SOCK_CLOEXEC, protocol));
}

int Close(int fd) { return Result(::close(fd)); }

int Bind(int fd, Ipv4Endpoint local) {
  const sockaddr_in a = ToSystem(local);
  return Result(::bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a));
}

int Listen(int fd, int backlog) { return Result(::listen(fd, backlog)); }

int Accept(int fd, Ipv4Endpoint* peer, bool nonBlocking) {
  sockaddr_in a{};
  socklen_t length = sizeof a;
  const int accepted = ::accept4(fd, reinterpret_cast<sockaddr*>(&a), &length,
                                 SOCK_CLOEXEC | (nonBlocking ? SOCK_NONBLOCK : 0));
  if (accepted < 0) return -errno;
  if (peer) *peer = FromSystem(a);
  return accepted;
}

int Connect(int fd, Ipv4Endpoint remote) {
  const sockaddr_in a = ToSystem(remote);
  return Result(::connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a));
}

long Send(int fd, const void* data, size_t size, int flags, const Ipv4Endpoint* to) {
  const int f = SystemFlags(flags) | MSG_NOSIGNAL;
  if (!to) return Result(::send(fd, data, size, f));
  const sockaddr_in a = ToSystem(*to);
  return Result(::sendto(fd, data, size, f, reinterpret_cast<const sockaddr*>(&a), sizeof a));
}

long Receive(int fd, void* data, size_t size, int flags, bool datagram, Ipv4Endpoint* from) {
  // MSG_TRUNC asks a datagram's real size; on a stream it would discard data.
  const int f = SystemFlags(flags) | (datagram ? MSG_TRUNC : 0);
  if (!from) return Result(::recv(fd, data, size, f));
  sockaddr_in a{};
  socklen_t length = sizeof a;
  const ssize_t n = ::recvfrom(fd, data, size, f, reinterpret_cast<sockaddr*>(&a), &length);
  if (n < 0) return -long(errno);
  *from = FromSystem(a);
  return long(n);
}

int SetNonBlocking(int fd, bool on) {
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0) return -errno;
  return Result(::fcntl(fd, F_SETFL, on ? flags | O_NONBLOCK : flags & ~O_NONBLOCK));
}

int BytesToRead(int fd) {
  int n = 0;
  if (::ioctl(fd, FIONREAD, &n) < 0) return -errno;
  return n;
}

int SetOption(int fd, Option option, int value) {
  const SystemOption o = ToSystem(option);
  return Result(::setsockopt(fd, o.level, o.name, &value, sizeof value));
}

int GetOption(int fd, Option option, int* value) {
  const SystemOption o = ToSystem(option);
  socklen_t length = sizeof *value;
  if (::getsockopt(fd, o.level, o.name, value, &length) < 0) return -errno;
  if (IsBufferSize(option)) *value /= 2;
  return 0;
}

int LocalEndpoint(int fd, Ipv4Endpoint* local) { return Endpoint(fd, local, ::getsockname); }

int PeerEndpoint(int fd, Ipv4Endpoint* peer) { return Endpoint(fd, peer, ::getpeername); }

int Shutdown(int fd, Shut how) {
  return Result(::shutdown(fd, how == Shut::kReceive ? SHUT_RD : how == Shut::kSend ? SHUT_WR : SHUT_RDWR));
}

bool ParseDotted(const char* text, uint32_t* address) {
  in_addr a{};
  if (::inet_aton(text, &a) == 0) return false;
  *address = a.s_addr;
  return true;
}

int Poll(PollEntry* entries, size_t count, int64_t timeoutNs) {
  if (count > kMaxPollEntries) return -EINVAL;
  pollfd fds[kMaxPollEntries];
  for (size_t i = 0; i < count; ++i) {
    const uint16_t w = entries[i].wanted;
    fds[i].fd = entries[i].fd;
    fds[i].events = short((w & kIn ? POLLIN : 0) | (w & kOut ? POLLOUT : 0) | (w & kPriority ? POLLPRI : 0));
    fds[i].revents = 0;
  }
  timespec limit{};
  if (timeoutNs >= 0) {
    limit.tv_sec = time_t(timeoutNs / 1'000'000'000);
    limit.tv_nsec = long(timeoutNs % 1'000'000'000);
  }
  const int n = ::ppoll(fds, nfds_t(count), timeoutNs >= 0 ? &limit : nullptr, nullptr);
  if (n < 0) return -errno;
  for (size_t i = 0; i < count; ++i) {
    const short r = fds[i].revents;
    entries[i].ready =
        uint16_t((r & POLLIN ? kIn : 0) | (r & POLLOUT ? kOut : 0) | (r & POLLPRI ? kPriority : 0) |
                 (r & POLLERR ? kError : 0) | (r & POLLHUP ? kHangUp : 0));
  }
  return n;
}

}  // namespace ce::sim::host

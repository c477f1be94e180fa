// The machine's own socket calls under the simulated Winsock. They live
// apart because the ce socket header gives some of the system's socket macros
// (SOL_SOCKET, SO_KEEPALIVE, FIONBIO, the FD_ set) Winsock's values; this
// header names none of them, and its source includes no ce socket header.
//
// Each call returns its result (0 or more) or the errno, negated.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ce::sim::host {

// An IPv4 address and port, both in network byte order.
struct Ipv4Endpoint {
  uint32_t address = 0;
  uint16_t port = 0;
};

enum class SocketKind { kStream, kDatagram };

// Winsock's message flags that the system has too, by Winsock's values.
enum MessageFlag : int { kOutOfBand = 0x1, kPeek = 0x2, kDontRoute = 0x4, kWaitAll = 0x8 };
inline constexpr int kMessageFlags = kOutOfBand | kPeek | kDontRoute | kWaitAll;

enum class Option { kKeepAlive, kReuseAddress, kError, kReceiveBuffer, kSendBuffer, kNoDelay };

enum class Shut { kReceive, kSend, kBoth };

// A close-on-exec IPv4 socket.
int OpenSocket(SocketKind kind, int protocol);
int Close(int fd);
int Bind(int fd, Ipv4Endpoint local);
int Listen(int fd, int backlog);
// The connection's close-on-exec socket, non-blocking when asked.
int Accept(int fd, Ipv4Endpoint* peer, bool nonBlocking);
int Connect(int fd, Ipv4Endpoint remote);
// Never raises SIGPIPE. to: null for the connected peer.
long Send(int fd, const void* data, size_t size, int flags, const Ipv4Endpoint* to);
// For a datagram socket the datagram's whole size, which is more than size
// when the rest of it was lost. from: null when not wanted.
long Receive(int fd, void* data, size_t size, int flags, bool datagram, Ipv4Endpoint* from);
int SetNonBlocking(int fd, bool on);
// Bytes waiting to be read.
int BytesToRead(int fd);
// The error option gives an errno (0: none); the buffer sizes are what was
// asked, not the system's doubled bookkeeping.
int SetOption(int fd, Option option, int value);
int GetOption(int fd, Option option, int* value);
int LocalEndpoint(int fd, Ipv4Endpoint* local);
int PeerEndpoint(int fd, Ipv4Endpoint* peer);
int Shutdown(int fd, Shut how);

// The four forms of a dotted address ("a.b.c.d", "a.b.c", "a.b", "a"; parts
// decimal, octal or hexadecimal) as the system's inet_aton reads them.
bool ParseDotted(const char* text, uint32_t* address);

// What a descriptor is waited for, and what it turned out to be.
enum Readiness : uint16_t { kIn = 0x1, kOut = 0x2, kPriority = 0x4, kError = 0x8, kHangUp = 0x10 };

struct PollEntry {
  int fd;  // negative: left out of the wait
  uint16_t wanted;
  uint16_t ready;
};

// The most entries one Poll takes.
inline constexpr size_t kMaxPollEntries = 192;

// Waits until an entry is ready or timeoutNs (negative: no limit) passes: the
// count of ready entries, 0 on time-out, -EINTR when a signal came first.
int Poll(PollEntry* entries, size_t count, int64_t timeoutNs);

}  // namespace ce::sim::host

// Winsock over the machine's own sockets: a SOCKET names an entry of the
// kernel's socket table (socket_object.h), whose calls go to the system
// through host_socket.h, with errno given as Winsock's numbers.
#include <cerrno>
#include <cstring>

#include "api.h"
#include "kernel.h"
#include "last_error.h"
#include "socket_errors.h"
#include "socket_object.h"

namespace ce::sim {

bool WinsockStarted() {
  if (Kernel::Get().winsockStarts.load(std::memory_order_relaxed) > 0) return true;
  SetLastError(WSANOTINITIALISED);
  return false;
}

std::shared_ptr<Socket> FindSocket(SOCKET s) {
  if (!WinsockStarted()) return nullptr;
  std::shared_ptr<Socket> socket = Kernel::Get().sockets.Lookup(s);
  if (!socket) SetLastError(WSAENOTSOCK);
  return socket;
}

int SocketFailure(int error) {
  SetLastError(DWORD(error));
  return SOCKET_ERROR;
}

SOCKET InvalidSocket(int error) {
  SetLastError(DWORD(error));
  return INVALID_SOCKET;
}

int SocketFailure(const Socket& socket, int errnoValue) {
  return SocketFailure(socket.closed.load() ? WSAEINTR : WinsockError(errnoValue));
}

}  // namespace ce::sim

namespace ce::sim::api {
namespace {

constexpr WORD kHighestVersion = 0x0202;  // 2.2
constexpr int kAddressSize = int(sizeof(SOCKADDR_IN));

auto& Sockets() { return Kernel::Get().sockets; }

// A socket leaving the table: a thread still in a call on it is woken (the
// system ends a blocked accept, recv or poll on a shut-down socket) and fails
// with WSAEINTR. The descriptor closes when the last user lets go, so no
// call ever reaches a descriptor number the system has handed out again.
void Retire(const std::shared_ptr<Socket>& socket) {
  socket->closed = true;
  if (socket.use_count() > 1) host::Shutdown(socket->fd(), host::Shut::kBoth);
}

// A caller's address as the system's, or the Winsock error.
int ReadAddress(const SOCKADDR* address, int length, host::Ipv4Endpoint* out) {
  if (!address || length < kAddressSize) return WSAEFAULT;
  const auto* in = reinterpret_cast<const SOCKADDR_IN*>(address);
  if (in->sin_family != AF_INET) return WSAEAFNOSUPPORT;
  *out = {in->sin_addr.S_un.S_addr, in->sin_port};
  return 0;
}

// Winsock refuses to send to any address or to port 0.
int ReadRemote(const SOCKADDR* address, int length, host::Ipv4Endpoint* out) {
  if (const int error = ReadAddress(address, length, out)) return error;
  return out->address == INADDR_ANY || out->port == 0 ? WSAEADDRNOTAVAIL : 0;
}

// Whether the caller's out-address has room (both null: not wanted).
bool AddressRoom(const SOCKADDR* address, const int* length) {
  return !address || (length && *length >= kAddressSize);
}

void WriteAddress(host::Ipv4Endpoint e, SOCKADDR* address, int* length) {
  if (!address) return;
  SOCKADDR_IN in{};
  in.sin_family = AF_INET;
  in.sin_port = e.port;
  in.sin_addr.S_un.S_addr = e.address;
  std::memcpy(address, &in, sizeof in);
  *length = kAddressSize;
}

// The socket's table entry for a new descriptor; INVALID_SOCKET with
// WSAEMFILE when the table is full (the descriptor is closed).
SOCKET Enter(int fd, host::SocketKind kind, bool nonBlocking, bool connected) {
  auto socket = std::make_shared<Socket>(fd, kind);
  socket->nonBlocking = nonBlocking;
  socket->wasConnected = connected;
  const SOCKET s = Sockets().Add(std::move(socket));
  return s != 0 ? s : InvalidSocket(WSAEMFILE);
}

bool CheckBuffer(const void* buffer, int length) { return length >= 0 && (buffer || length == 0); }

// to: null for the connected peer.
int Send(SOCKET s, const char* buffer, int length, int flags, const SOCKADDR* to, int toLength) {
  const auto socket = FindSocket(s);
  if (!socket) return SOCKET_ERROR;
  if (!CheckBuffer(buffer, length)) return SocketFailure(WSAEFAULT);
  if (flags & ~host::kMessageFlags) return SocketFailure(WSAEOPNOTSUPP);
  host::Ipv4Endpoint remote;
  if (to)
    if (const int error = ReadRemote(to, toLength, &remote)) return SocketFailure(error);
  const long n = host::Send(socket->fd(), buffer, size_t(length), flags, to ? &remote : nullptr);
  if (n < 0) {
    if (n == -EPIPE && socket->sendShut.load()) return SocketFailure(WSAESHUTDOWN);
    if (n == -EPIPE && !socket->wasConnected.load()) return SocketFailure(WSAENOTCONN);
    return SocketFailure(*socket, int(-n));
  }
  return int(n);
}

int Receive(SOCKET s, char* buffer, int length, int flags, SOCKADDR* from, int* fromLength) {
  const auto socket = FindSocket(s);
  if (!socket) return SOCKET_ERROR;
  // A stream's sender is its peer: Winsock ignores from there.
  const bool datagram = socket->datagram();
  if (!CheckBuffer(buffer, length) || (datagram && !AddressRoom(from, fromLength)))
    return SocketFailure(WSAEFAULT);
  if (flags & ~host::kMessageFlags) return SocketFailure(WSAEOPNOTSUPP);
  host::Ipv4Endpoint peer;
  const long n = host::Receive(socket->fd(), buffer, size_t(length), flags, datagram,
                               datagram && from ? &peer : nullptr);
  // Winsock reports a port that answered a datagram as unreachable as a reset.
  if (n == -ECONNREFUSED && datagram && !socket->closed.load()) return SocketFailure(WSAECONNRESET);
  if (n < 0) return SocketFailure(*socket, int(-n));
  // A shutdown by closesocket ends a blocked receive as an orderly close would.
  if (n == 0 && socket->closed.load()) return SocketFailure(WSAEINTR);
  if (datagram && from) WriteAddress(peer, from, fromLength);
  // What did not fit is lost, and Winsock says so.
  if (datagram && n > length) return SocketFailure(WSAEMSGSIZE);
  return int(n);
}

}  // namespace

int WSAStartup(WORD versionRequested, WSADATA* data) {
  if (!data) return WSAEFAULT;
  const BYTE major = BYTE(versionRequested & 0xFF), minor = BYTE(versionRequested >> 8);
  std::memset(data, 0, sizeof *data);
  data->wHighVersion = kHighestVersion;
  std::strcpy(data->szDescription, "WinSock 2.2");
  std::strcpy(data->szSystemStatus, "Running");
  if (major < 1 || (major == 1 && minor < 1)) {
    data->wVersion = kHighestVersion;
    return WSAVERNOTSUPPORTED;
  }
  data->wVersion = major > 2 || (major == 2 && minor >= 2) ? kHighestVersion : versionRequested;
  Kernel::Get().winsockStarts.fetch_add(1);
  return 0;
}

int WSACleanup(void) {
  auto& starts = Kernel::Get().winsockStarts;
  int n = starts.load();
  do {
    if (n <= 0) return SocketFailure(WSANOTINITIALISED);
  } while (!starts.compare_exchange_weak(n, n - 1));
  // The last cleanup closes every socket the process still has.
  if (n == 1)
    for (const auto& socket : Sockets().CloseAll()) Retire(socket);
  return 0;
}

int WSAGetLastError(void) { return int(GetLastError()); }

void WSASetLastError(int error) { SetLastError(DWORD(error)); }

SOCKET socket(int family, int type, int protocol) {
  if (!WinsockStarted()) return INVALID_SOCKET;
  if (family != AF_INET) return InvalidSocket(WSAEAFNOSUPPORT);
  if (type != SOCK_STREAM && type != SOCK_DGRAM) return InvalidSocket(WSAESOCKTNOSUPPORT);
  const bool stream = type == SOCK_STREAM;
  if (protocol == (stream ? IPPROTO_UDP : IPPROTO_TCP)) return InvalidSocket(WSAEPROTOTYPE);
  if (protocol != 0 && protocol != (stream ? IPPROTO_TCP : IPPROTO_UDP))
    return InvalidSocket(WSAEPROTONOSUPPORT);
  const auto kind = stream ? host::SocketKind::kStream : host::SocketKind::kDatagram;
  const int fd = host::OpenSocket(kind, protocol);
  if (fd < 0) return InvalidSocket(WinsockError(-fd));
  if (stream) host::SetOption(fd, host::Option::kReuseAddress, 1);
  return Enter(fd, kind, false, false);
}

int bind(SOCKET s, const SOCKADDR* address, int addressLength) {
  const auto socket = FindSocket(s);
  if (!socket) return SOCKET_ERROR;
  host::Ipv4Endpoint local;
  if (const int error = ReadAddress(address, addressLength, &local)) return SocketFailure(error);
  const int r = host::Bind(socket->fd(), local);
  return r < 0 ? SocketFailure(*socket, -r) : 0;
}

int listen(SOCKET s, int backlog) {
  const auto socket = FindSocket(s);
  if (!socket) return SOCKET_ERROR;
  if (socket->datagram()) return SocketFailure(WSAEOPNOTSUPP);
  // Winsock listens on a bound socket only; the system would pick a port.
  host::Ipv4Endpoint local;
  if (host::LocalEndpoint(socket->fd(), &local) < 0 || local.port == 0) return SocketFailure(WSAEINVAL);
  const int r = host::Listen(socket->fd(), backlog);
  return r < 0 ? SocketFailure(*socket, -r) : 0;
}

SOCKET accept(SOCKET s, SOCKADDR* address, int* addressLength) {
  const auto socket = FindSocket(s);
  if (!socket) return INVALID_SOCKET;
  if (!AddressRoom(address, addressLength)) return InvalidSocket(WSAEFAULT);
  if (socket->datagram()) return InvalidSocket(WSAEOPNOTSUPP);
  host::Ipv4Endpoint peer;
  // The new socket takes the listening socket's blocking mode, as Winsock's does.
  const bool nonBlocking = socket->nonBlocking.load();
  const int fd = host::Accept(socket->fd(), &peer, nonBlocking);
  if (fd < 0) return InvalidSocket(socket->closed.load() ? WSAEINTR : WinsockError(-fd));
  if (socket->closed.load()) {
    host::Close(fd);
    return InvalidSocket(WSAEINTR);
  }
  const SOCKET accepted = Enter(fd, host::SocketKind::kStream, nonBlocking, true);
  if (accepted != INVALID_SOCKET) WriteAddress(peer, address, addressLength);
  return accepted;
}

int connect(SOCKET s, const SOCKADDR* address, int addressLength) {
  const auto socket = FindSocket(s);
  if (!socket) return SOCKET_ERROR;
  host::Ipv4Endpoint remote;
  if (const int error = ReadRemote(address, addressLength, &remote)) return SocketFailure(error);
  int r = host::Connect(socket->fd(), remote);
  // A socket whose last connect failed may connect again, as Winsock lets a
  // client try the next address of a name on it; Linux first answers with
  // that failure, which leaves the socket unconnected.
  if (socket->connecting && r < 0 && r != -EALREADY && r != -EINPROGRESS && r != -EISCONN)
    r = host::Connect(socket->fd(), remote);
  if (r == -EINPROGRESS) {
    socket->connecting = true;
    return SocketFailure(WSAEWOULDBLOCK);
  }
  if (r != -EALREADY) socket->connecting = false;
  if (r == 0 || r == -EISCONN) socket->wasConnected = true;
  return r < 0 ? SocketFailure(*socket, -r) : 0;
}

int send(SOCKET s, const char* buffer, int length, int flags) {
  return Send(s, buffer, length, flags, nullptr, 0);
}

int recv(SOCKET s, char* buffer, int length, int flags) {
  return Receive(s, buffer, length, flags, nullptr, nullptr);
}

int sendto(SOCKET s, const char* buffer, int length, int flags, const SOCKADDR* to, int toLength) {
  return Send(s, buffer, length, flags, to, toLength);
}

int recvfrom(SOCKET s, char* buffer, int length, int flags, SOCKADDR* from, int* fromLength) {
  return Receive(s, buffer, length, flags, from, fromLength);
}

int ioctlsocket(SOCKET s, LONG command, DWORD* argument) {
  const auto socket = FindSocket(s);
  if (!socket) return SOCKET_ERROR;
  if (!argument) return SocketFailure(WSAEFAULT);
  if (command == FIONBIO) {
    const int r = host::SetNonBlocking(socket->fd(), *argument != 0);
    if (r < 0) return SocketFailure(*socket, -r);
    socket->nonBlocking = *argument != 0;
    return 0;
  }
  if (command == FIONREAD) {
    const int n = host::BytesToRead(socket->fd());
    if (n < 0) return SocketFailure(*socket, -n);
    *argument = DWORD(n);
    return 0;
  }
  return SocketFailure(WSAEINVAL);
}

namespace {

// The options Winsock callers set and read: each a 4-byte number or BOOL.
struct OptionRow {
  int level;
  int option;
  host::Option system;
  bool streamOnly;
  bool readOnly;
};

constexpr OptionRow kOptions[] = {
    {SOL_SOCKET, SO_KEEPALIVE, host::Option::kKeepAlive, true, false},
    {SOL_SOCKET, SO_REUSEADDR, host::Option::kReuseAddress, false, false},
    {SOL_SOCKET, SO_ERROR, host::Option::kError, false, true},
    {SOL_SOCKET, SO_RCVBUF, host::Option::kReceiveBuffer, false, false},
    {SOL_SOCKET, SO_SNDBUF, host::Option::kSendBuffer, false, false},
    {IPPROTO_TCP, TCP_NODELAY, host::Option::kNoDelay, true, false},
};

const OptionRow* FindOption(const Socket& socket, int level, int option) {
  for (const OptionRow& row : kOptions)
    if (row.level == level && row.option == option)
      return row.streamOnly && socket.datagram() ? nullptr : &row;
  return nullptr;
}

}  // namespace

int setsockopt(SOCKET s, int level, int option, const char* value, int valueLength) {
  const auto socket = FindSocket(s);
  if (!socket) return SOCKET_ERROR;
  const OptionRow* row = FindOption(*socket, level, option);
  if (!row || row->readOnly) return SocketFailure(WSAENOPROTOOPT);
  if (!value || valueLength < int(sizeof(int))) return SocketFailure(WSAEFAULT);
  int v;
  std::memcpy(&v, value, sizeof v);
  if (row->system == host::Option::kReuseAddress && !socket->datagram()) {
    socket->reuseAddress = v != 0;
    return 0;
  }
  const int r = host::SetOption(socket->fd(), row->system, v);
  return r < 0 ? SocketFailure(*socket, -r) : 0;
}

int getsockopt(SOCKET s, int level, int option, char* value, int* valueLength) {
  const auto socket = FindSocket(s);
  if (!socket) return SOCKET_ERROR;
  const OptionRow* row = FindOption(*socket, level, option);
  if (!row) return SocketFailure(WSAENOPROTOOPT);
  if (!value || !valueLength || *valueLength < int(sizeof(int))) return SocketFailure(WSAEFAULT);
  int v = 0;
  if (row->system == host::Option::kReuseAddress && !socket->datagram()) {
    v = socket->reuseAddress.load();
  } else {
    const int r = host::GetOption(socket->fd(), row->system, &v);
    if (r < 0) return SocketFailure(*socket, -r);
    if (row->system == host::Option::kError) v = WinsockError(v);
    if (row->system == host::Option::kKeepAlive || row->system == host::Option::kReuseAddress ||
        row->system == host::Option::kNoDelay)
      v = v != 0;
  }
  std::memcpy(value, &v, sizeof v);
  *valueLength = int(sizeof v);
  return 0;
}

int getsockname(SOCKET s, SOCKADDR* address, int* addressLength) {
  const auto socket = FindSocket(s);
  if (!socket) return SOCKET_ERROR;
  if (!address || !AddressRoom(address, addressLength)) return SocketFailure(WSAEFAULT);
  host::Ipv4Endpoint local;
  const int r = host::LocalEndpoint(socket->fd(), &local);
  if (r < 0) return SocketFailure(*socket, -r);
  // Winsock has no name for a socket that is not bound.
  if (local.port == 0 && local.address == 0) return SocketFailure(WSAEINVAL);
  WriteAddress(local, address, addressLength);
  return 0;
}

int getpeername(SOCKET s, SOCKADDR* address, int* addressLength) {
  const auto socket = FindSocket(s);
  if (!socket) return SOCKET_ERROR;
  if (!address || !AddressRoom(address, addressLength)) return SocketFailure(WSAEFAULT);
  host::Ipv4Endpoint peer;
  const int r = host::PeerEndpoint(socket->fd(), &peer);
  if (r < 0) return SocketFailure(*socket, -r);
  WriteAddress(peer, address, addressLength);
  return 0;
}

int shutdown(SOCKET s, int how) {
  const auto socket = FindSocket(s);
  if (!socket) return SOCKET_ERROR;
  if (how != SD_RECEIVE && how != SD_SEND && how != SD_BOTH) return SocketFailure(WSAEINVAL);
  const host::Shut shut = how == SD_RECEIVE ? host::Shut::kReceive
                          : how == SD_SEND  ? host::Shut::kSend
                                            : host::Shut::kBoth;
  const int r = host::Shutdown(socket->fd(), shut);
  if (r < 0) return SocketFailure(*socket, -r);
  if (how != SD_RECEIVE) socket->sendShut = true;
  return 0;
}

int closesocket(SOCKET s) {
  const auto socket = FindSocket(s);
  if (!socket) return SOCKET_ERROR;
  // Another thread may have closed it since the lookup.
  if (!Sockets().Close(s)) return SocketFailure(WSAENOTSOCK);
  Retire(socket);
  return 0;
}

}  // namespace ce::sim::api

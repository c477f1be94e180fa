// The device's rules for connect and the socket options where Wine's differ:
// a connect to the any-address is refused (Wine lets the host's stack take it
// as loopback); keep-alive and no-delay are a stream's alone; and each yes/no
// option is a 4-byte BOOL both ways (Wine reads some back in one byte, and
// takes fewer than four).
#include <cstring>

#include "ce/socket.h"

namespace ce {
namespace {

::SOCKET System(SOCKET s) { return static_cast<::SOCKET>(s); }

int Refuse(int error) {
  ::WSASetLastError(error);
  return SOCKET_ERROR;
}

bool YesNo(int level, int option) {
  return (level == SOL_SOCKET && (option == SO_KEEPALIVE || option == SO_REUSEADDR)) ||
         (level == IPPROTO_TCP && option == TCP_NODELAY);
}

bool StreamOnly(int level, int option) {
  return (level == SOL_SOCKET && option == SO_KEEPALIVE) || (level == IPPROTO_TCP && option == TCP_NODELAY);
}

// A socket that is no stream (a datagram one); false when s is no socket at
// all, which the call itself then reports.
bool NoStream(SOCKET s) {
  int type = 0, length = sizeof type;
  return ::getsockopt(System(s), SOL_SOCKET, SO_TYPE, reinterpret_cast<char*>(&type), &length) == 0 &&
         type != SOCK_STREAM;
}

}  // namespace

int connect(SOCKET s, const SOCKADDR* address, int addressLength) {
  if (address && addressLength >= int(sizeof(SOCKADDR_IN)) && address->sa_family == AF_INET &&
      reinterpret_cast<const SOCKADDR_IN*>(address)->sin_addr.S_un.S_addr == INADDR_ANY)
    return Refuse(WSAEADDRNOTAVAIL);
  return ::connect(System(s), reinterpret_cast<const ::sockaddr*>(address), addressLength);
}

int setsockopt(SOCKET s, int level, int option, const char* value, int valueLength) {
  if (StreamOnly(level, option) && NoStream(s)) return Refuse(WSAENOPROTOOPT);
  if (YesNo(level, option) && (!value || valueLength < int(sizeof(BOOL)))) return Refuse(WSAEFAULT);
  return ::setsockopt(System(s), level, option, value, valueLength);
}

int getsockopt(SOCKET s, int level, int option, char* value, int* valueLength) {
  if (StreamOnly(level, option) && NoStream(s)) return Refuse(WSAENOPROTOOPT);
  if (!YesNo(level, option)) return ::getsockopt(System(s), level, option, value, valueLength);
  if (!value || !valueLength || *valueLength < int(sizeof(BOOL))) return Refuse(WSAEFAULT);
  BOOL on = 0;
  int length = sizeof on;
  if (::getsockopt(System(s), level, option, reinterpret_cast<char*>(&on), &length) != 0) return SOCKET_ERROR;
  on = on != 0;  // of one byte or four
  std::memcpy(value, &on, sizeof on);
  *valueLength = sizeof on;
  return 0;
}

}  // namespace ce

// Sockets as Winsock offers them on the device: SOCKET values from a table of
// their own, Winsock's select over socket sets, errors through
// WSAGetLastError with Winsock's numbers (10035 would block, 10061 refused).
//
// Elsewhere than Windows the host's socket headers use other values for some
// of the same names (SOL_SOCKET, SO_KEEPALIVE, FIONBIO, FD_SETSIZE, the FD_
// macros): this header replaces them with Winsock's, so code that includes it
// must not use the host's socket calls in the same file.
#pragma once

#include "ce/net.h"
#include "ce/types.h"
#include "ce/unique.h"

#if defined(_WIN32)
#include <winsock2.h>
#else
// The C library's own FD_ macros come with its general headers (glibc's
// stdlib.h brings sys/select.h): in first, so that a standard header included
// after this one cannot bring them back over Winsock's below.
#include <cstdlib>
#endif

namespace ce {

#if defined(_WIN32)
using ::fd_set;
using ::hostent;
using ::SOCKET;
using ::timeval;
using ::WSADATA;
#else
using SOCKET = uintptr_t;

#undef FD_SETSIZE
#define FD_SETSIZE 64

// Winsock's set: a count and the sockets, not a bit mask.
struct fd_set {
  UINT fd_count;
  SOCKET fd_array[FD_SETSIZE];
};

struct timeval {
  LONG tv_sec;
  LONG tv_usec;
};

struct hostent {
  char* h_name;
  char** h_aliases;
  short h_addrtype;
  short h_length;
  char** h_addr_list;
};

struct WSADATA {
  WORD wVersion;
  WORD wHighVersion;
  char szDescription[257];
  char szSystemStatus[129];
  unsigned short iMaxSockets;
  unsigned short iMaxUdpDg;
  char* lpVendorInfo;
};
#endif

}  // namespace ce

#if !defined(_WIN32)
#undef SOL_SOCKET
#define SOL_SOCKET 0xFFFF
#undef SO_KEEPALIVE
#define SO_KEEPALIVE 0x0008
#undef SO_REUSEADDR
#define SO_REUSEADDR 0x0004
#undef SO_ERROR
#define SO_ERROR 0x1007
#undef SO_RCVBUF
#define SO_RCVBUF 0x1002
#undef SO_SNDBUF
#define SO_SNDBUF 0x1001
#undef FIONBIO
#define FIONBIO (static_cast<::ce::LONG>(0x8004667Eu))
#undef FIONREAD
#define FIONREAD (static_cast<::ce::LONG>(0x4004667Fu))
#undef FD_ZERO
#define FD_ZERO(set) ((set)->fd_count = 0)
#undef FD_SET
#define FD_SET(s, set) ::ce::FdSetAdd((s), (set))
#undef FD_CLR
#define FD_CLR(s, set) ::ce::FdSetRemove((s), (set))
#undef FD_ISSET
#define FD_ISSET(s, set) ::ce::__WSAFDIsSet((s), (set))
#endif

#ifndef INVALID_SOCKET
#define INVALID_SOCKET (~::ce::SOCKET{0})
#endif
#ifndef SOCKET_ERROR
#define SOCKET_ERROR (-1)
#endif
#ifndef SOCK_STREAM
#define SOCK_STREAM 1
#endif
#ifndef SOCK_DGRAM
#define SOCK_DGRAM 2
#endif
#ifndef IPPROTO_TCP
#define IPPROTO_TCP 6
#endif
#ifndef IPPROTO_UDP
#define IPPROTO_UDP 17
#endif
#ifndef TCP_NODELAY
#define TCP_NODELAY 0x0001
#endif
#ifndef INADDR_ANY
#define INADDR_ANY 0x00000000u
#endif
#ifndef INADDR_LOOPBACK
#define INADDR_LOOPBACK 0x7F000001u
#endif
#ifndef INADDR_NONE
#define INADDR_NONE 0xFFFFFFFFu
#endif
#ifndef SD_RECEIVE
#define SD_RECEIVE 0
#endif
#ifndef SD_SEND
#define SD_SEND 1
#endif
#ifndef SD_BOTH
#define SD_BOTH 2
#endif
#ifndef MSG_PEEK
#define MSG_PEEK 0x2
#endif
#ifndef WSAEINTR
#define WSAEINTR 10004
#endif
#ifndef WSAEBADF
#define WSAEBADF 10009
#endif
#ifndef WSAEACCES
#define WSAEACCES 10013
#endif
#ifndef WSAEINVAL
#define WSAEINVAL 10022
#endif
#ifndef WSAEMFILE
#define WSAEMFILE 10024
#endif
#ifndef WSAEWOULDBLOCK
#define WSAEWOULDBLOCK 10035
#endif
#ifndef WSAEINPROGRESS
#define WSAEINPROGRESS 10036
#endif
#ifndef WSAEALREADY
#define WSAEALREADY 10037
#endif
#ifndef WSAENOTSOCK
#define WSAENOTSOCK 10038
#endif
#ifndef WSAEDESTADDRREQ
#define WSAEDESTADDRREQ 10039
#endif
#ifndef WSAEMSGSIZE
#define WSAEMSGSIZE 10040
#endif
#ifndef WSAEPROTOTYPE
#define WSAEPROTOTYPE 10041
#endif
#ifndef WSAENOPROTOOPT
#define WSAENOPROTOOPT 10042
#endif
#ifndef WSAEPROTONOSUPPORT
#define WSAEPROTONOSUPPORT 10043
#endif
#ifndef WSAESOCKTNOSUPPORT
#define WSAESOCKTNOSUPPORT 10044
#endif
#ifndef WSAEOPNOTSUPP
#define WSAEOPNOTSUPP 10045
#endif
#ifndef WSAEAFNOSUPPORT
#define WSAEAFNOSUPPORT 10047
#endif
#ifndef WSAEADDRINUSE
#define WSAEADDRINUSE 10048
#endif
#ifndef WSAEADDRNOTAVAIL
#define WSAEADDRNOTAVAIL 10049
#endif
#ifndef WSAENETDOWN
#define WSAENETDOWN 10050
#endif
#ifndef WSAENETUNREACH
#define WSAENETUNREACH 10051
#endif
#ifndef WSAENETRESET
#define WSAENETRESET 10052
#endif
#ifndef WSAECONNABORTED
#define WSAECONNABORTED 10053
#endif
#ifndef WSAECONNRESET
#define WSAECONNRESET 10054
#endif
#ifndef WSAENOBUFS
#define WSAENOBUFS 10055
#endif
#ifndef WSAEISCONN
#define WSAEISCONN 10056
#endif
#ifndef WSAENOTCONN
#define WSAENOTCONN 10057
#endif
#ifndef WSAESHUTDOWN
#define WSAESHUTDOWN 10058
#endif
#ifndef WSAETIMEDOUT
#define WSAETIMEDOUT 10060
#endif
#ifndef WSAECONNREFUSED
#define WSAECONNREFUSED 10061
#endif
#ifndef WSAEHOSTDOWN
#define WSAEHOSTDOWN 10064
#endif
#ifndef WSAEHOSTUNREACH
#define WSAEHOSTUNREACH 10065
#endif
#ifndef WSAVERNOTSUPPORTED
#define WSAVERNOTSUPPORTED 10092
#endif
#ifndef WSANOTINITIALISED
#define WSANOTINITIALISED 10093
#endif
#ifndef WSANO_DATA
#define WSANO_DATA 11004
#endif

namespace ce {

// The library is ready for sockets once started; each start is matched by a
// cleanup. 0 on success, else the error (the last error is not set).
int WSAStartup(WORD versionRequested, WSADATA* data);
int WSACleanup(void);
int WSAGetLastError(void);
void WSASetLastError(int error);

// Each returns SOCKET_ERROR (or INVALID_SOCKET, or null) on failure with the
// error for WSAGetLastError.
SOCKET socket(int family, int type, int protocol);
int bind(SOCKET s, const SOCKADDR* address, int addressLength);
int listen(SOCKET s, int backlog);
SOCKET accept(SOCKET s, SOCKADDR* address, int* addressLength);
int connect(SOCKET s, const SOCKADDR* address, int addressLength);
int send(SOCKET s, const char* buffer, int length, int flags);
int recv(SOCKET s, char* buffer, int length, int flags);
int sendto(SOCKET s, const char* buffer, int length, int flags, const SOCKADDR* to, int toLength);
int recvfrom(SOCKET s, char* buffer, int length, int flags, SOCKADDR* from, int* fromLength);
int ioctlsocket(SOCKET s, LONG command, DWORD* argument);
int setsockopt(SOCKET s, int level, int option, const char* value, int valueLength);
int getsockopt(SOCKET s, int level, int option, char* value, int* valueLength);
int getsockname(SOCKET s, SOCKADDR* address, int* addressLength);
int getpeername(SOCKET s, SOCKADDR* address, int* addressLength);
int shutdown(SOCKET s, int how);
int closesocket(SOCKET s);
// The count of sockets ready in the three sets together, which are reduced to
// the ready ones; 0 when the time-out (null: none) passed first. nfds is
// ignored, as Winsock ignores it.
int select(int nfds, fd_set* readSet, fd_set* writeSet, fd_set* exceptSet, const timeval* timeout);
// Non-zero when the set holds the socket (the FD_ISSET macro).
int __WSAFDIsSet(SOCKET s, fd_set* set);
// The host's addresses (the terminal's resolver), in a record of the calling
// thread valid until its next call.
hostent* gethostbyname(const char* name);
// The dotted address in network order, or INADDR_NONE.
DWORD inet_addr(const char* text);

// Owns a socket: closesocket once.
struct SocketTraits {
  using Value = SOCKET;
  static SOCKET Empty() { return INVALID_SOCKET; }
  static bool Held(SOCKET s) { return s != INVALID_SOCKET; }
  static void Close(SOCKET s) { ce::closesocket(s); }
};
using UniqueSocket = Unique<SocketTraits>;

#if !defined(_WIN32)
// What FD_SET and FD_CLR expand to: a socket added once while the set has
// room; removed keeping the others' order.
inline void FdSetAdd(SOCKET s, fd_set* set) {
  for (UINT i = 0; i < set->fd_count; ++i)
    if (set->fd_array[i] == s) return;
  if (set->fd_count < FD_SETSIZE) set->fd_array[set->fd_count++] = s;
}
inline void FdSetRemove(SOCKET s, fd_set* set) {
  UINT kept = 0;
  for (UINT i = 0; i < set->fd_count; ++i)
    if (set->fd_array[i] != s) set->fd_array[kept++] = set->fd_array[i];
  set->fd_count = kept;
}
#endif

}  // namespace ce

// Network adapters (the IP helper's GetAdaptersInfo) and name resolution
// (the sockets library's resolver), with the device's record layouts.
#pragma once

#include "ce/types.h"

#ifndef MAX_ADAPTER_NAME_LENGTH
#define MAX_ADAPTER_NAME_LENGTH 256
#endif
#ifndef MAX_ADAPTER_DESCRIPTION_LENGTH
#define MAX_ADAPTER_DESCRIPTION_LENGTH 128
#endif
#ifndef MAX_ADAPTER_ADDRESS_LENGTH
#define MAX_ADAPTER_ADDRESS_LENGTH 8
#endif
#ifndef MIB_IF_TYPE_OTHER
#define MIB_IF_TYPE_OTHER 1
#endif
#ifndef MIB_IF_TYPE_ETHERNET
#define MIB_IF_TYPE_ETHERNET 6
#endif
#ifndef MIB_IF_TYPE_PPP
#define MIB_IF_TYPE_PPP 23
#endif
#ifndef IF_TYPE_IEEE80211
#define IF_TYPE_IEEE80211 71
#endif
#ifndef AF_INET
#define AF_INET 2
#endif
#ifndef WSAEFAULT
#define WSAEFAULT 10014
#endif
#ifndef WSAHOST_NOT_FOUND
#define WSAHOST_NOT_FOUND 11001
#endif

namespace ce {

struct IP_ADDRESS_STRING {
  char String[16];
};

struct IP_ADDR_STRING {
  IP_ADDR_STRING* Next;
  IP_ADDRESS_STRING IpAddress;
  IP_ADDRESS_STRING IpMask;
  DWORD Context;
};

struct IP_ADAPTER_INFO {
  IP_ADAPTER_INFO* Next;
  DWORD ComboIndex;
  char AdapterName[MAX_ADAPTER_NAME_LENGTH + 4];
  char Description[MAX_ADAPTER_DESCRIPTION_LENGTH + 4];
  UINT AddressLength;
  BYTE Address[MAX_ADAPTER_ADDRESS_LENGTH];
  DWORD Index;
  UINT Type;
  UINT DhcpEnabled;
  IP_ADDR_STRING* CurrentIpAddress;
  IP_ADDR_STRING IpAddressList;
  IP_ADDR_STRING GatewayList;
  IP_ADDR_STRING DhcpServer;
  BOOL HaveWins;
  IP_ADDR_STRING PrimaryWinsServer;
  IP_ADDR_STRING SecondaryWinsServer;
  LONG LeaseObtained;
  LONG LeaseExpires;
};

// The adapters as one chain in the caller's block. A null or short block
// gives ERROR_BUFFER_OVERFLOW with the size needed.
DWORD GetAdaptersInfo(IP_ADAPTER_INFO* adapterInfo, DWORD* size);

// An IPv4 address in network byte order.
struct IN_ADDR {
  union {
    struct {
      BYTE s_b1, s_b2, s_b3, s_b4;
    } S_un_b;
    DWORD S_addr;
  } S_un;
};

struct SOCKADDR {
  WORD sa_family;
  char sa_data[14];
};

struct SOCKADDR_IN {
  short sin_family;
  WORD sin_port;
  IN_ADDR sin_addr;
  char sin_zero[8];
};

struct ADDRINFOA {
  int ai_flags;
  int ai_family;
  int ai_socktype;
  int ai_protocol;
  std::size_t ai_addrlen;
  char* ai_canonname;
  SOCKADDR* ai_addr;
  ADDRINFOA* ai_next;
};

// 0 on success, else the socket error (for example WSAHOST_NOT_FOUND).
int gethostname(char* name, int nameLength);
int getaddrinfo(const char* node, const char* service, const ADDRINFOA* hints, ADDRINFOA** result);
void freeaddrinfo(ADDRINFOA* list);
// Dotted form in a buffer of the calling thread, valid until its next call.
char* inet_ntoa(IN_ADDR address);

}  // namespace ce

// Network adapters and name resolution. A profile describes the adapters
// (network.adapters, in list order, and network.adapter.<name>), the host name
// and the names the resolver knows; with network.use_host_interfaces the
// machine's own IPv4 interfaces, host name and resolver answer instead.
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netpacket/packet.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "api.h"
#include "ce/error.h"
#include "ce/net.h"
#include "hardware.h"
#include "hex.h"
#include "resolver.h"
#include "terminal.h"
#include "utf.h"

namespace ce::sim::api {
namespace {

struct Adapter {
  std::string name;
  UINT type = MIB_IF_TYPE_ETHERNET;
  std::string ip = "0.0.0.0", mask = "0.0.0.0", gateway;
  std::vector<uint8_t> mac;
};

std::vector<Adapter> ProfileAdapters() {
  namespace hw = sim::hw;
  std::vector<Adapter> out;
  for (const std::string& name : hw::Read(hw::kAdapters)) {
    Adapter a;
    a.name = name;
    a.type = hw::Read(hw::kAdapterType, name);
    a.ip = hw::Read(hw::kAdapterIp, name);
    a.mask = hw::Read(hw::kAdapterMask, name);
    a.gateway = hw::Read(hw::kAdapterGateway, name);
    if (const auto mac = sim::ParseMac(hw::Read(hw::kAdapterMac, name)))
      a.mac.assign(mac->begin(), mac->end());
    out.push_back(std::move(a));
  }
  return out;
}

struct IfAddrs {
  ifaddrs* list = nullptr;
  ~IfAddrs() {
    if (list) ::freeifaddrs(list);
  }
};

std::string Dotted(const sockaddr* a) {
  char text[INET_ADDRSTRLEN] = "0.0.0.0";
  if (a && a->sa_family == AF_INET)
    ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(a)->sin_addr, text, sizeof text);
  return text;
}

// The machine's own interfaces with an IPv4 address, loopback left out as the
// device's list leaves it out.
std::vector<Adapter> HostAdapters() {
  std::vector<Adapter> out;
  IfAddrs ifs;
  if (::getifaddrs(&ifs.list) != 0) return out;
  std::map<std::string, std::vector<uint8_t>> macs;
  for (ifaddrs* i = ifs.list; i; i = i->ifa_next)
    if (i->ifa_addr && i->ifa_addr->sa_family == AF_PACKET) {
      const auto* ll = reinterpret_cast<const sockaddr_ll*>(i->ifa_addr);
      macs[i->ifa_name].assign(ll->sll_addr, ll->sll_addr + std::min<size_t>(ll->sll_halen, 8));
    }
  for (ifaddrs* i = ifs.list; i; i = i->ifa_next) {
    if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET || (i->ifa_flags & IFF_LOOPBACK)) continue;
    Adapter a;
    a.name = i->ifa_name;
    a.type = MIB_IF_TYPE_ETHERNET;
    a.ip = Dotted(i->ifa_addr);
    a.mask = Dotted(i->ifa_netmask);
    a.mac = macs[a.name];
    out.push_back(std::move(a));
  }
  return out;
}

void CopyText(char* dst, size_t size, const std::string& text) {
  std::memset(dst, 0, size);
  std::memcpy(dst, text.data(), std::min(text.size(), size - 1));
}

void FillAddress(IP_ADDR_STRING* s, const std::string& ip, const std::string& mask) {
  CopyText(s->IpAddress.String, sizeof s->IpAddress.String, ip);
  CopyText(s->IpMask.String, sizeof s->IpMask.String, mask);
}

}  // namespace

DWORD GetAdaptersInfo(IP_ADAPTER_INFO* info, DWORD* size) {
  if (!size) return ERROR_INVALID_PARAMETER;
  if (!sim::Current()) return ERROR_NOT_READY;
  const std::vector<Adapter> adapters =
      sim::hw::Read(sim::hw::kUseHostInterfaces) ? HostAdapters() : ProfileAdapters();
  if (adapters.empty()) return ERROR_NO_DATA;
  const DWORD needed = DWORD(adapters.size() * sizeof(IP_ADAPTER_INFO));
  if (!info || *size < needed) {
    *size = needed;
    return ERROR_BUFFER_OVERFLOW;
  }
  std::memset(info, 0, needed);
  for (size_t i = 0; i < adapters.size(); ++i) {
    const Adapter& a = adapters[i];
    IP_ADAPTER_INFO& r = info[i];
    r.Next = i + 1 < adapters.size() ? &info[i + 1] : nullptr;
    r.ComboIndex = r.Index = DWORD(i + 1);
    const std::string name = sim::Utf8ToAnsi(a.name);
    CopyText(r.AdapterName, sizeof r.AdapterName, name);
    CopyText(r.Description, sizeof r.Description, name);
    r.AddressLength = UINT(std::min<size_t>(a.mac.size(), MAX_ADAPTER_ADDRESS_LENGTH));
    std::memcpy(r.Address, a.mac.data(), r.AddressLength);
    r.Type = a.type;
    r.CurrentIpAddress = &r.IpAddressList;
    FillAddress(&r.IpAddressList, a.ip, a.mask);
    FillAddress(&r.GatewayList, a.gateway, "");
  }
  return ERROR_SUCCESS;
}

int gethostname(char* name, int length) {
  if (!name || length <= 0) return WSAEFAULT;
  if (!sim::Current()) return int(ERROR_NOT_READY);
  std::string host = sim::Utf8ToAnsi(sim::hw::Read(sim::hw::kHostName));
  if (sim::hw::Read(sim::hw::kUseHostInterfaces)) {
    char own[256] = {};
    if (::gethostname(own, sizeof own - 1) == 0) host = own;
  }
  if (host.size() + 1 > size_t(length)) return WSAEFAULT;
  std::memcpy(name, host.c_str(), host.size() + 1);
  return 0;
}

namespace {

// One list block per answer: the records, their addresses and the names,
// freed at once by freeaddrinfo.
struct AnswerBlock {
  std::vector<ADDRINFOA> records;
  std::vector<SOCKADDR_IN> addresses;
};

ADDRINFOA* MakeAnswer(const std::vector<DWORD>& ipv4, const ADDRINFOA* hints) {
  auto block = std::make_unique<AnswerBlock>();
  block->records.resize(ipv4.size() + 1);  // the last is the block's own marker
  block->addresses.resize(ipv4.size());
  for (size_t i = 0; i < ipv4.size(); ++i) {
    SOCKADDR_IN& sa = block->addresses[i];
    sa.sin_family = AF_INET;
    sa.sin_addr.S_un.S_addr = ipv4[i];
    ADDRINFOA& r = block->records[i];
    r.ai_family = AF_INET;
    r.ai_socktype = hints ? hints->ai_socktype : 0;
    r.ai_protocol = hints ? hints->ai_protocol : 0;
    r.ai_addrlen = sizeof sa;
    r.ai_addr = reinterpret_cast<SOCKADDR*>(&sa);
    r.ai_next = i + 1 < ipv4.size() ? &block->records[i + 1] : nullptr;
  }
  // The marker record remembers the block, so freeaddrinfo can find it.
  block->records.back().ai_canonname = reinterpret_cast<char*>(block.get());
  ADDRINFOA* first = &block->records.front();
  block.release();
  return first;
}

std::vector<DWORD> HostResolve(const char* node, int* error) {
  std::vector<DWORD> out;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  addrinfo* list = nullptr;
  if (::getaddrinfo(node, nullptr, &hints, &list) != 0) {
    *error = WSAHOST_NOT_FOUND;
    return out;
  }
  for (addrinfo* a = list; a; a = a->ai_next)
    if (a->ai_family == AF_INET) {
      const DWORD ip = reinterpret_cast<const sockaddr_in*>(a->ai_addr)->sin_addr.s_addr;
      if (std::find(out.begin(), out.end(), ip) == out.end()) out.push_back(ip);
    }
  ::freeaddrinfo(list);
  *error = 0;
  return out;
}

}  // namespace

int getaddrinfo(const char* node, const char*, const ADDRINFOA* hints, ADDRINFOA** result) {
  if (!result) return WSAEFAULT;
  *result = nullptr;
  if (!sim::Current()) return int(ERROR_NOT_READY);
  if (hints && hints->ai_family != 0 && hints->ai_family != AF_INET) return WSAHOST_NOT_FOUND;
  std::vector<DWORD> found;
  if (const int error = ResolveIpv4(node, &found)) return error;
  *result = MakeAnswer(found, hints);
  return 0;
}

void freeaddrinfo(ADDRINFOA* list) {
  if (!list) return;
  ADDRINFOA* last = list;
  while (last->ai_next) last = last->ai_next;
  // The record after the last one carries the block (see MakeAnswer).
  delete reinterpret_cast<AnswerBlock*>(last[1].ai_canonname);
}

char* inet_ntoa(IN_ADDR address) {
  thread_local char text[16];
  const BYTE* b = reinterpret_cast<const BYTE*>(&address.S_un.S_addr);
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
  return text;
}

}  // namespace ce::sim::api

namespace ce::sim {

int ResolveIpv4(const char* name, std::vector<uint32_t>* addresses) {
  addresses->clear();
  if (!Current()) return int(ERROR_NOT_READY);
  if (!name || !*name) return WSAHOST_NOT_FOUND;
  in_addr literal{};
  if (::inet_pton(AF_INET, name, &literal) == 1) {
    addresses->push_back(literal.s_addr);
    return 0;
  }
  if (const auto known = hw::Find(hw::kResolverNames, AnsiToUtf8(name))) {
    for (const std::string& ip : *known)
      if (::inet_pton(AF_INET, ip.c_str(), &literal) == 1) addresses->push_back(literal.s_addr);
  } else if (::strcasecmp(name, "localhost") == 0) {
    // The system's own name for itself needs no name server.
    addresses->push_back(htonl(INADDR_LOOPBACK));
  } else if (hw::Read(hw::kUseHostInterfaces)) {
    int error = 0;
    *addresses = api::HostResolve(name, &error);
    if (error) return error;
  } else {
    return int(hw::Read(hw::kResolverError));
  }
  return addresses->empty() ? WSAHOST_NOT_FOUND : 0;
}

}  // namespace ce::sim

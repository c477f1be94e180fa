// Names and dotted addresses for sockets: gethostbyname through the terminal's
// resolver (the one getaddrinfo uses), inet_addr as the system reads dotted text.
#include <cstdint>
#include <string>
#include <vector>

#include "api.h"
#include "host_socket.h"
#include "last_error.h"
#include "resolver.h"
#include "socket_object.h"

namespace ce::sim::api {
namespace {

// The calling thread's answer, as gethostbyname hands it out: valid until
// the thread's next call.
struct HostRecord {
  std::string name;
  std::vector<uint32_t> addresses;
  std::vector<char*> addressList;  // into addresses, then null
  char* aliases[1] = {nullptr};
  hostent entry{};
};

}  // namespace

hostent* gethostbyname(const char* name) {
  if (!WinsockStarted()) return nullptr;
  thread_local HostRecord record;
  std::vector<uint32_t> found;
  if (const int error = ResolveIpv4(name, &found)) {
    SetLastError(DWORD(error));
    return nullptr;
  }
  record.name = name;
  record.addresses = std::move(found);
  record.addressList.clear();
  for (uint32_t& a : record.addresses) record.addressList.push_back(reinterpret_cast<char*>(&a));
  record.addressList.push_back(nullptr);
  record.entry.h_name = record.name.data();
  record.entry.h_aliases = record.aliases;
  record.entry.h_addrtype = AF_INET;
  record.entry.h_length = sizeof(uint32_t);
  record.entry.h_addr_list = record.addressList.data();
  return &record.entry;
}

DWORD inet_addr(const char* text) {
  uint32_t address = 0;
  return text && host::ParseDotted(text, &address) ? address : INADDR_NONE;
}

}  // namespace ce::sim::api

// The terminal's resolver, which getaddrinfo and gethostbyname share: a
// dotted address stands for itself; a name the profile lists
// (network.resolver.<name>) gives its addresses in the listed order; with
// network.use_host_interfaces the machine's resolver answers other names,
// else they fail with network.resolver_error.
#pragma once

#include <cstdint>
#include <vector>

namespace ce::sim {

// 0 with at least one IPv4 address (network byte order), or the Winsock error.
int ResolveIpv4(const char* name, std::vector<uint32_t>* addresses);

}  // namespace ce::sim

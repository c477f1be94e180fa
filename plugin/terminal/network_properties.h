// The network properties: NET_IP_V4, NET_ADAPTERS_IPCONFIG, NET_CONNECTION,
// NET_CONNECTION_TYPE and NET_CONNECTION_LEVEL, and the resolver behind the
// first, which falls back to the registry's static host table.
#pragma once

#include <string>

#include "ce/net.h"
#include "qel/host.h"

namespace qel {

// The resolver's error (0 on success); the caller frees *result with freeaddrinfo.
int ResolveHost(const char16_t* node, const char16_t* service, const ce::ADDRINFOA* hints,
                ce::ADDRINFOA** result);

bool GetIpV4(IQelValue* value, IQelService* context);
bool GetAdaptersIpConfig(IQelValue* value, IQelService* context);
bool GetConnection(IQelValue* value, IQelService* context);
bool GetConnectionTypeProperty(IQelValue* value, IQelService* context);
bool GetConnectionLevel(IQelValue* value, IQelService* context);

// Entries "name,ip,mask,gateway,AA-BB-..." of the configured adapters; with
// onlyName, just the adapter of that name (ignoring case). The separator
// rules of NET_ADAPTERS_IPCONFIG apply.
std::u16string AdapterConfiguration(const char16_t* onlyName, bool* found);

}  // namespace qel

namespace qel {

// NET_WLAN_IPCONFIG, with the WLAN service as context.
bool GetWlanIpConfig(IQelValue* value, IQelService* context);

}  // namespace qel

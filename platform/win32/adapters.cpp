// The device's adapter record keeps its lease times as 32-bit numbers where
// desktop Windows has time_t (64 bits with mingw-w64), so the system's chain
// is copied into the caller's block in the device's layout: the adapters one
// after the other, then the further addresses of their lists.
#include "ce/net.h"
// After the ce headers, which bring Winsock 2 before windows.h.
#include <iphlpapi.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace ce {
namespace {

// The system's chain, or the error that stopped it (ERROR_NO_DATA: no adapter).
DWORD SystemChain(std::vector<BYTE>& block) {
  ULONG size = 0;
  DWORD result = ::GetAdaptersInfo(nullptr, &size);
  // The chain may grow between the two calls: ask again while it does.
  for (int tries = 0; result == ERROR_BUFFER_OVERFLOW && tries < 4; ++tries) {
    block.assign(size, 0);
    result = ::GetAdaptersInfo(reinterpret_cast<::IP_ADAPTER_INFO*>(block.data()), &size);
  }
  return result;
}

size_t FurtherAddresses(const ::IP_ADDR_STRING& list) {
  size_t n = 0;
  for (const ::IP_ADDR_STRING* a = list.Next; a != nullptr; a = a->Next) ++n;
  return n;
}

// Copies the list whose first entry is embedded in the record; further
// entries are taken from spare, which advances.
void CopyList(const ::IP_ADDR_STRING& from, IP_ADDR_STRING& to, IP_ADDR_STRING*& spare) {
  IP_ADDR_STRING* into = &to;
  for (const ::IP_ADDR_STRING* a = &from; a != nullptr; a = a->Next) {
    if (a != &from) {
      into->Next = spare;
      into = spare++;
    }
    *into = {};
    static_assert(sizeof(into->IpAddress.String) == sizeof(a->IpAddress.String));
    std::memcpy(into->IpAddress.String, a->IpAddress.String, sizeof(into->IpAddress.String));
    std::memcpy(into->IpMask.String, a->IpMask.String, sizeof(into->IpMask.String));
    into->Context = a->Context;
  }
}

}  // namespace

DWORD GetAdaptersInfo(IP_ADAPTER_INFO* adapterInfo, DWORD* size) {
  if (size == nullptr) return ERROR_INVALID_PARAMETER;
  std::vector<BYTE> block;
  if (DWORD e = SystemChain(block); e != ERROR_SUCCESS) return e;
  const auto* first = reinterpret_cast<const ::IP_ADAPTER_INFO*>(block.data());
  size_t adapters = 0, further = 0;
  for (const ::IP_ADAPTER_INFO* a = first; a != nullptr; a = a->Next) {
    ++adapters;
    further += FurtherAddresses(a->IpAddressList) + FurtherAddresses(a->GatewayList) +
               FurtherAddresses(a->DhcpServer) + FurtherAddresses(a->PrimaryWinsServer) +
               FurtherAddresses(a->SecondaryWinsServer);
  }
  const size_t needed = adapters * sizeof(IP_ADAPTER_INFO) + further * sizeof(IP_ADDR_STRING);
  if (adapterInfo == nullptr || *size < needed) {
    *size = static_cast<DWORD>(needed);
    return ERROR_BUFFER_OVERFLOW;
  }
  IP_ADAPTER_INFO* out = adapterInfo;
  auto* spare = reinterpret_cast<IP_ADDR_STRING*>(adapterInfo + adapters);
  for (const ::IP_ADAPTER_INFO* a = first; a != nullptr; a = a->Next, ++out) {
    *out = {};
    out->Next = a->Next != nullptr ? out + 1 : nullptr;
    out->ComboIndex = a->ComboIndex;
    static_assert(sizeof(out->AdapterName) == sizeof(a->AdapterName));
    static_assert(sizeof(out->Description) == sizeof(a->Description));
    static_assert(sizeof(out->Address) == sizeof(a->Address));
    std::memcpy(out->AdapterName, a->AdapterName, sizeof(out->AdapterName));
    std::memcpy(out->Description, a->Description, sizeof(out->Description));
    out->AddressLength = a->AddressLength;
    std::memcpy(out->Address, a->Address, sizeof(out->Address));
    out->Index = a->Index;
    out->Type = a->Type;
    out->DhcpEnabled = a->DhcpEnabled;
    CopyList(a->IpAddressList, out->IpAddressList, spare);
    CopyList(a->GatewayList, out->GatewayList, spare);
    CopyList(a->DhcpServer, out->DhcpServer, spare);
    out->HaveWins = a->HaveWins;
    CopyList(a->PrimaryWinsServer, out->PrimaryWinsServer, spare);
    CopyList(a->SecondaryWinsServer, out->SecondaryWinsServer, spare);
    out->CurrentIpAddress = a->CurrentIpAddress != nullptr ? &out->IpAddressList : nullptr;
    out->LeaseObtained = static_cast<LONG>(a->LeaseObtained);
    out->LeaseExpires = static_cast<LONG>(a->LeaseExpires);
  }
  return ERROR_SUCCESS;
}

}  // namespace ce

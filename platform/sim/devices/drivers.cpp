// The NDIS user-mode I/O driver, "UIO1:": object-identifier queries about the
// adapters the hardware state describes (network.adapter.<name>.wlan).
#include "drivers.h"

#include <cstddef>
#include <cstring>
#include <string>

#include "api.h"
#include "case_fold.h"
#include "ce/device.h"
#include "ce/error.h"
#include "handles.h"
#include "hardware.h"
#include "hex.h"
#include "terminal.h"
#include "utf.h"

namespace ce::sim {
namespace {

constexpr DWORD kOidEncryptionStatus = 0x0D01011B;
constexpr DWORD kOidMediaConnectStatus = 0x00010114;
constexpr DWORD kOidRssi = 0x0D010206;
constexpr DWORD kOidSsid = 0x0D010102;
constexpr DWORD kOidBssid = 0x0D010101;
constexpr DWORD kEncryptionEnabled = 0;  // Ndis802_11Encryption1Enabled
constexpr size_t kDataOffset = offsetof(NDISUIO_QUERY_OID, Data);

class NdisUioDriver final : public KernelObject {};

BOOL Fail(DWORD code) {
  ce::SetLastError(code);
  return FALSE;
}

// The adapter the query names, as the hardware state spells it; empty when none.
std::string AdapterNamed(LPCWSTR name) {
  if (!name) return {};
  for (const std::string& a : hw::Read(hw::kAdapters))
    if (SameName(FromUtf8(a), name)) return a;
  return {};
}

}  // namespace

bool IsDeviceName(std::u16string_view p) {
  auto letter = [](char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); };
  return p.size() == 5 && letter(p[0]) && letter(p[1]) && letter(p[2]) && p[3] >= u'0' && p[3] <= u'9' &&
         p[4] == u':';
}

HANDLE OpenDevice(std::u16string_view name) {
  if (!Current()) {
    ce::SetLastError(ERROR_NOT_READY);
    return INVALID_HANDLE_VALUE;
  }
  if (!SameName(name, u"UIO1:")) {
    ce::SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  ce::SetLastError(ERROR_SUCCESS);
  return AddHandle(std::make_shared<NdisUioDriver>());
}

}  // namespace ce::sim

namespace ce::sim::api {

BOOL DeviceIoControl(HANDLE device, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize,
                     DWORD* returned, void*) {
  using namespace sim;
  if (!LookupHandleAs<NdisUioDriver>(device)) return Fail(ERROR_INVALID_HANDLE);
  if (code != IOCTL_NDISUIO_QUERY_OID_VALUE) return Fail(ERROR_NOT_SUPPORTED);
  if (!in || !out || inSize < kDataOffset || outSize < kDataOffset) return Fail(ERROR_INVALID_PARAMETER);
  NDISUIO_QUERY_OID query;
  std::memcpy(&query, in, kDataOffset);
  const std::string adapter = AdapterNamed(query.ptcDeviceName);
  if (adapter.empty()) return Fail(ERROR_FILE_NOT_FOUND);
  // An adapter with a wlan group is wireless; whether its driver answers the
  // encryption-status query is the profile's choice.
  const bool wireless = hw::Find(hw::kWlanConnected, adapter).has_value();
  const bool connected =
      wireless ? hw::Read(hw::kWlanConnected, adapter) : hw::Read(hw::kAdapterIp, adapter) != "0.0.0.0";

  std::string data;
  auto put32 = [&](uint32_t v) { data.append(reinterpret_cast<const char*>(&v), 4); };
  switch (query.Oid) {
    case kOidMediaConnectStatus:
      put32(connected ? 0 : 1);
      break;
    case kOidEncryptionStatus:
      if (!wireless || !hw::Read(hw::kWlanOids, adapter)) return Fail(ERROR_NOT_SUPPORTED);
      put32(kEncryptionEnabled);
      break;
    case kOidRssi:
      if (!wireless || !connected) return Fail(ERROR_NOT_SUPPORTED);
      put32(uint32_t(hw::Read(hw::kWlanRssi, adapter)));
      break;
    case kOidSsid: {
      if (!wireless || !connected) return Fail(ERROR_NOT_SUPPORTED);
      std::string ssid = Utf8ToAnsi(hw::Read(hw::kWlanSsid, adapter)).substr(0, 32);
      put32(uint32_t(ssid.size()));
      ssid.resize(32, '\0');
      data += ssid;
      break;
    }
    case kOidBssid: {
      const auto bssid = ParseMac(hw::Read(hw::kWlanBssid, adapter));
      if (!wireless || !connected || !bssid) return Fail(ERROR_NOT_SUPPORTED);
      data.assign(bssid->begin(), bssid->end());
      break;
    }
    default:
      return Fail(ERROR_NOT_SUPPORTED);
  }
  if (outSize < kDataOffset + data.size()) return Fail(ERROR_INSUFFICIENT_BUFFER);
  std::memcpy(out, &query, kDataOffset);
  std::memcpy(static_cast<char*>(out) + kDataOffset, data.data(), data.size());
  if (returned) *returned = DWORD(kDataOffset + data.size());
  return TRUE;
}

}  // namespace ce::sim::api

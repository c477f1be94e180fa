// The NDIS user-mode I/O driver ("UIO1:" on every profile): object-identifier
// queries about the adapters the hardware state describes
// (network.adapter.<name>.wlan). It reads and writes no packets.
#include <cstddef>
#include <cstring>
#include <string>

#include "case_fold.h"
#include "ce/device.h"
#include "ce/error.h"
#include "driver.h"
#include "hardware.h"
#include "hex.h"
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

// The adapter the query names, as the hardware state spells it; empty when none.
std::string AdapterNamed(LPCWSTR name) {
  if (!name) return {};
  for (const std::string& a : hw::Read(hw::kAdapters))
    if (SameName(FromUtf8(a), name)) return a;
  return {};
}

// The answer to a query about the adapter, or the error that refuses it.
DWORD Answer(DWORD oid, const std::string& adapter, std::string* data) {
  // An adapter with a wlan group is wireless; whether its driver answers the
  // encryption-status query is the profile's choice.
  const bool wireless = hw::Find(hw::kWlanConnected, adapter).has_value();
  const bool connected =
      wireless ? hw::Read(hw::kWlanConnected, adapter) : hw::Read(hw::kAdapterIp, adapter) != "0.0.0.0";
  auto put32 = [&](uint32_t v) { data->append(reinterpret_cast<const char*>(&v), 4); };
  switch (oid) {
    case kOidMediaConnectStatus:
      put32(connected ? 0 : 1);
      return ERROR_SUCCESS;
    case kOidEncryptionStatus:
      if (!wireless || !hw::Read(hw::kWlanOids, adapter)) return ERROR_NOT_SUPPORTED;
      put32(kEncryptionEnabled);
      return ERROR_SUCCESS;
    case kOidRssi:
      if (!wireless || !connected) return ERROR_NOT_SUPPORTED;
      put32(uint32_t(hw::Read(hw::kWlanRssi, adapter)));
      return ERROR_SUCCESS;
    case kOidSsid: {
      if (!wireless || !connected) return ERROR_NOT_SUPPORTED;
      std::string ssid = Utf8ToAnsi(hw::Read(hw::kWlanSsid, adapter)).substr(0, 32);
      put32(uint32_t(ssid.size()));
      ssid.resize(32, '\0');
      *data += ssid;
      return ERROR_SUCCESS;
    }
    case kOidBssid: {
      const auto bssid = ParseMac(hw::Read(hw::kWlanBssid, adapter));
      if (!wireless || !connected || !bssid) return ERROR_NOT_SUPPORTED;
      data->assign(bssid->begin(), bssid->end());
      return ERROR_SUCCESS;
    }
    default:
      return ERROR_NOT_SUPPORTED;
  }
}

class NdisUioDriver final : public Driver {
 public:
  // The query record is in and out at once: its header comes back as it went
  // in, followed by the data.
  DWORD IoControl(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize,
                  DWORD* returned) override {
    if (code != IOCTL_NDISUIO_QUERY_OID_VALUE) return ERROR_NOT_SUPPORTED;
    if (!in || !out || inSize < kDataOffset || outSize < kDataOffset) return ERROR_INVALID_PARAMETER;
    NDISUIO_QUERY_OID query;
    std::memcpy(&query, in, kDataOffset);
    const std::string adapter = AdapterNamed(query.ptcDeviceName);
    if (adapter.empty()) return ERROR_FILE_NOT_FOUND;
    std::string data;
    if (DWORD e = Answer(query.Oid, adapter, &data)) return e;
    if (outSize < kDataOffset + data.size()) return ERROR_INSUFFICIENT_BUFFER;
    std::memcpy(out, &query, kDataOffset);
    std::memcpy(static_cast<char*>(out) + kDataOffset, data.data(), data.size());
    *returned = DWORD(kDataOffset + data.size());
    return ERROR_SUCCESS;
  }
};

}  // namespace

DWORD OpenNdisUio(const DriverOpen&, std::shared_ptr<Driver>* out) {
  *out = std::make_shared<NdisUioDriver>();
  return ERROR_SUCCESS;
}

}  // namespace ce::sim

#include "devices/wlan_service.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "ce/device.h"
#include "ce/error.h"
#include "ce/files.h"
#include "ce/net.h"
#include "ceutil/text.h"
#include "core/text_out.h"

namespace qel {
namespace {

// Holds an atomic flag for a scope, spinning while a rival holds it.
class FlagLock {
 public:
  explicit FlagLock(std::atomic_flag& flag) : flag_(flag) {
    while (flag_.test_and_set(std::memory_order_acquire)) {
    }
  }
  ~FlagLock() { flag_.clear(std::memory_order_release); }
  FlagLock(const FlagLock&) = delete;
  FlagLock& operator=(const FlagLock&) = delete;

 private:
  std::atomic_flag& flag_;
};

constexpr uint32_t kOidEncryptionStatus = 0x0D01011B;
constexpr uint32_t kOidMediaConnectStatus = 0x00010114;
constexpr uint32_t kOidRssi = 0x0D010206;
constexpr uint32_t kOidSsid = 0x0D010102;
constexpr uint32_t kOidBssid = 0x0D010101;
constexpr size_t kHeader = offsetof(ce::NDISUIO_QUERY_OID, Data);

// Adapters whose driver does not answer 802.11 queries but whose name says wireless.
constexpr char16_t kWirelessNames[20][32] = {
    u"WLAN", u"BCMCF", u"SDCCF", u"PEGAS", u"P300",  u"WLAGS", u"SWL",   u"CF8385PN", u"PHOTON", u"DSFLTR",
    u"SDIO", u"JEDI",  u"CFWG",  u"AR6K",  u"WLSKT", u"PRISM", u"SDCSD", u"TIWLN",    u"XWING",  u""};

bool NamedWireless(std::u16string_view name) {
  for (const auto& entry : kWirelessNames) {
    if (!entry[0]) break;
    if (name.find(entry) != std::u16string_view::npos) return true;
  }
  return false;
}

}  // namespace

bool CQelWlanService::Query(uint32_t oid, uint32_t dataBytes, void* out, uint32_t outBytes) {
  std::vector<uint8_t> record(kHeader + dataBytes, 0);
  ce::NDISUIO_QUERY_OID header{};
  header.Oid = oid;
  header.ptcDeviceName = adapter_;
  std::memcpy(record.data(), &header, kHeader);
  ce::DWORD returned = 0;
  if (!ce::DeviceIoControl(device_.get(), IOCTL_NDISUIO_QUERY_OID_VALUE, record.data(),
                           ce::DWORD(record.size()), record.data(), ce::DWORD(record.size()), &returned,
                           nullptr))
    return false;
  if (out) std::memcpy(out, record.data() + kHeader, std::min(outBytes, dataBytes));
  return true;
}

bool CQelWlanService::Open() {
  FlagLock lock(opening_);
  if (device_) return true;
  device_.reset(ce::CreateFileW(u"UIO1:", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr));
  if (!device_) return false;
  ce::DWORD size = 0;
  if (ce::GetAdaptersInfo(nullptr, &size) == ERROR_BUFFER_OVERFLOW && size != 0) {
    std::vector<uint8_t> block(size);
    auto* first = reinterpret_cast<ce::IP_ADAPTER_INFO*>(block.data());
    if (ce::GetAdaptersInfo(first, &size) == ERROR_SUCCESS)
      for (const ce::IP_ADAPTER_INFO* a = first; a; a = a->Next) {
        std::u16string name = ceutil::FromAnsi(a->AdapterName);
        if (name.size() > 259) name.resize(259);
        WriteText(name, adapter_, 128);
        if (Query(kOidEncryptionStatus, 4, nullptr, 0) || NamedWireless(name)) return true;
      }
  }
  adapter_[0] = 0;
  device_.reset();
  return false;
}

bool CQelWlanService::Close() {
  FlagLock lock(opening_);
  device_.reset();
  return true;
}

const char16_t* CQelWlanService::GetAdapterName() { return Open() && adapter_[0] ? adapter_ : nullptr; }

bool CQelWlanService::IsConnected(bool* connected) {
  uint32_t status = 1;
  if (!connected || !Open() || !Query(kOidMediaConnectStatus, 8, &status, sizeof status)) return false;
  *connected = status == 0;
  return true;
}

bool CQelWlanService::GetRssi(int16_t* dbm) {
  if (!dbm || !Open()) return false;
  bool connected = false;
  if (!IsConnected(&connected) || !connected) {
    *dbm = -200;
    return true;
  }
  int32_t rssi = 0;
  if (!Query(kOidRssi, 8, &rssi, sizeof rssi)) return false;
  *dbm = int16_t(rssi);
  return true;
}

int32_t SignalLevelOf(int32_t r) {
  if (r < -90) return 0;
  if (r < -81) return 1;
  if (r < -71) return 2;
  if (r < -67) return 3;
  if (r < -57) return 4;
  return 5;
}

int32_t CQelWlanService::GetSignalLevel() {
  int16_t dbm = 0;
  if (!GetRssi(&dbm) || dbm >= 0) return -1;
  return SignalLevelOf(dbm);
}

bool CQelWlanService::GetSsid(char16_t* buffer, uint32_t capacity) {
  if (!buffer || !Open()) return false;
  bool connected = false;
  if (!IsConnected(&connected) || !connected) return WriteText(u"", buffer, capacity);
  uint8_t data[40] = {};
  if (!Query(kOidSsid, sizeof data, data, sizeof data)) return false;
  uint32_t length = 0;
  std::memcpy(&length, data, 4);
  if (length >= capacity || length > 32) return false;
  return WriteText(ceutil::FromAnsi(std::string_view(reinterpret_cast<const char*>(data + 4), length)),
                   buffer, capacity);
}

bool CQelWlanService::GetBssid(char16_t* buffer, uint32_t capacity) {
  if (!buffer || !Open()) return false;
  bool connected = false;
  if (!IsConnected(&connected) || !connected) return WriteText(u"00:00:00:00:00:00", buffer, capacity);
  uint8_t b[10] = {};
  if (!Query(kOidBssid, sizeof b, b, sizeof b)) return false;
  char text[18];
  std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", b[0], b[1], b[2], b[3], b[4], b[5]);
  return WriteText(Widen(text), buffer, capacity);
}

IQelService* CreateWlanService() { return new (std::nothrow) CQelWlanService; }

}  // namespace qel

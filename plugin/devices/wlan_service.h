// The WLAN service: finds the wireless adapter and asks its driver, through
// the NDIS user-mode I/O driver "UIO1:", for association, signal and network.
#pragma once

#include <atomic>

#include "ce/handle.h"
#include "qel/guids.h"
#include "qel/object.h"
#include "qel/wlan.h"

namespace qel {

class CQelWlanService final : public CQelObject<IQelWlanService, IID_QELWLANSERVICE> {
 public:
  int32_t GetSignalLevel() override;
  bool IsConnected(bool* connected) override;
  const char16_t* GetAdapterName() override;
  bool GetSsid(char16_t* buffer, uint32_t capacity) override;
  bool GetRssi(int16_t* dbm) override;
  bool Open() override;
  bool Close() override;
  bool GetBssid(char16_t* buffer, uint32_t capacity) override;

 private:
  // The query record: object identifier, adapter name, then dataBytes of
  // data, of which outBytes are copied to out.
  bool Query(uint32_t oid, uint32_t dataBytes, void* out, uint32_t outBytes);

  // Concurrent first uses open the device once: Open and Close hold this
  // flag, briefly, while they look at and change the handle.
  std::atomic_flag opening_ = ATOMIC_FLAG_INIT;
  ce::UniqueHandle device_;
  char16_t adapter_[128] = {};
};

// Reports whether this build supports WLAN (always) and makes the service:
// null when memory runs out.
IQelService* CreateWlanService();

// Signal level 0..5 of an RSSI in dBm (the thresholds of the level bars).
int32_t SignalLevelOf(int32_t dbm);

}  // namespace qel

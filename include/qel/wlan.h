// IID_QELWLANSERVICE: the wireless adapter's association, signal and network.
#pragma once

#include "qel/service.h"

class IQelWlanService : public IQelService {
 public:
  virtual int32_t GetSignalLevel() = 0;                            // slot 8: 0..5, -1 unknown
  virtual bool IsConnected(bool* connected) = 0;                   // slot 9
  virtual const char16_t* GetAdapterName() = 0;                    // slot 10: null when none
  virtual bool GetSsid(char16_t* buffer, uint32_t capacity) = 0;   // slot 11
  virtual bool GetRssi(int16_t* dbm) = 0;                          // slot 12
  virtual bool Open() = 0;                                         // slot 13
  virtual bool Close() = 0;                                        // slot 14
  virtual bool GetBssid(char16_t* buffer, uint32_t capacity) = 0;  // slot 15

 protected:
  ~IQelWlanService() = default;
};

// Event sources of the HAL event handler: each gives a waitable handle and is
// called back on the handler's thread when that handle is signalled.
#pragma once

#include <cstdint>

class IQelHalEventSource {
 public:
  virtual int32_t AddRef() = 0;   // slot 0
  virtual int32_t Release() = 0;  // slot 1
  virtual void* GetHandle() = 0;  // slot 2: the waitable handle
  virtual bool OnSignaled() = 0;  // slot 3: on the handler's thread

 protected:
  ~IQelHalEventSource() = default;
};

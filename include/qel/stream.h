// A byte stream the host drives: made by a stream factory, configured with a
// few values, opened with a time-out, read and written with time-outs, and
// destroyed through Destroy. Interrupt may come from any thread and cuts short
// the one wait in progress.
#pragma once

#include <cstdint>

#include "qel/value.h"

class IQelStream {
 public:
  virtual bool Interrupt() = 0;                                   // slot 0
  virtual void Open(uint32_t timeoutMs) = 0;                      // slot 1
  virtual bool Close() = 0;                                       // slot 2
  virtual void Destroy() = 0;                                     // slot 3
  virtual bool Reset() = 0;                                       // slot 4
  virtual bool IsConnected() = 0;                                 // slot 5
  virtual bool Configure(int32_t count, IQelValue** values) = 0;  // slot 6
  virtual bool SetAddress(const char16_t* address) = 0;           // slot 7
  // A new value holding the address as text, which the caller deletes; or null.
  virtual IQelValue* GetAddress() = 0;  // slot 8
  // Bytes written, or -1.
  virtual int32_t Write(const void* buffer, uint32_t count, uint32_t timeoutMs) = 0;  // slot 9
  // Bytes read; 0 on a time-out or an interruption; 0 or -1 when the far side
  // closed or failed.
  virtual int32_t Read(void* buffer, uint32_t count, uint32_t timeoutMs) = 0;  // slot 10

 protected:
  ~IQelStream() = default;
};

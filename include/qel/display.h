// IID_QELDISPLAYSERVICE: screen orientation. Codes: 0 upright, 1 rotated 90,
// 2 rotated 180, 3 rotated 270 degrees.
#pragma once

#include "qel/service.h"

class IQelDisplayService : public IQelService {
 public:
  virtual bool Reserved8(uint32_t value) = 0;        // slot 8
  virtual bool SetOrientation(uint32_t code) = 0;    // slot 9
  virtual bool GetOrientation(uint32_t* code) = 0;   // slot 10
  virtual bool GetFirstPreset(uint32_t* code) = 0;   // slot 11
  virtual bool GetSecondPreset(uint32_t* code) = 0;  // slot 12
  virtual uint32_t GetCounter() = 0;                 // slot 13

 protected:
  ~IQelDisplayService() = default;
};

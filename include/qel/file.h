// IQelFile: one file of the device, opened with a small mode word. Slot order
// is the contract.
#pragma once

#include <cstdint>

#include "qel/counted_text.h"
#include "qel/date_time.h"

// Mode word: the low byte picks the access, the higher bits how to open.
enum : uint32_t {
  kQelFileRead = 0x00,          // an existing file
  kQelFileWrite = 0x01,         // opened or created
  kQelFileReadWrite = 0x02,     // opened or created
  kQelFileCreate = 0x1000,      // second byte 0x10: created anew, emptied if it exists
  kQelFileOpenAlways = 0x2000,  // opened or created; wins over kQelFileCreate
};

class IQelFile {
 public:
  virtual int32_t AddRef() = 0;                                // slot 0
  virtual int32_t Release() = 0;                               // slot 1
  virtual bool Open(const char16_t* path, uint32_t mode) = 0;  // slot 2
  virtual bool Close() = 0;                                    // slot 3
  virtual bool Flush() = 0;                                    // slot 4
  virtual bool IsOpen() = 0;                                   // slot 5
  // True unless the open file's last-write time and size are those recorded
  // when it was last closed.
  virtual bool HasChanged() = 0;                                   // slot 6
  virtual uint32_t Read(void* buffer, uint32_t count) = 0;         // slot 7: all ones on failure
  virtual uint32_t Write(const void* buffer, uint32_t count) = 0;  // slot 8: all ones on failure
  virtual uint64_t GetSize() = 0;                                  // slot 9: all ones on failure
  // Leaves the position at 0.
  virtual bool SetSize(uint32_t low, uint32_t high) = 0;  // slot 10
  // origin 0 begin, 1 current, 2 end; the new position, all ones on failure.
  virtual uint64_t Seek(uint32_t low, uint32_t high, uint32_t origin) = 0;  // slot 11
  virtual uint64_t Tell() = 0;                                              // slot 12
  // A new value (count 1) in UTC, or null.
  virtual IQelDateTime* GetLastWriteTime() = 0;  // slot 13
  // A new text (count 1) with the path of the last Open, or null when not open.
  virtual CQelCountedText* GetPath() = 0;  // slot 14

 protected:
  ~IQelFile() = default;  // no destructor slot: objects die through Release
};

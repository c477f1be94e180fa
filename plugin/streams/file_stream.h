// The "FILE" stream: writes go to the end of a file, reads run on from the
// current position, Reset goes back to the start. The file is opened without
// sharing, so nobody else opens it while the stream has it.
#pragma once

#include <string>

#include "ce/handle.h"
#include "ce/unique.h"
#include "qel/ms_layout.h"
#include "qel/stream.h"

namespace qel {

class CQelFileStream final : public IQelStream {
 public:
  CQelFileStream() = default;
  // Slot 11 in Microsoft's layout (the destructor's one slot); 11 and 12 elsewhere.
  QEL_SCALAR_DELETING_DESTRUCTOR(CQelFileStream)
  virtual ~CQelFileStream() = default;

  bool Interrupt() override { return false; }
  void Open(uint32_t timeoutMs) override;
  bool Close() override;
  void Destroy() override { delete this; }
  bool Reset() override;
  bool IsConnected() override { return true; }
  bool Configure(int32_t count, IQelValue** values) override;
  bool SetAddress(const char16_t*) override { return false; }
  IQelValue* GetAddress() override { return nullptr; }
  int32_t Write(const void* buffer, uint32_t count, uint32_t timeoutMs) override;
  int32_t Read(void* buffer, uint32_t count, uint32_t timeoutMs) override;

  // What Open does, with its result, which the stream interface does not pass on.
  bool OpenFile();

 private:
  ce::UniqueHandle file_;
  std::u16string name_;
};

void FileStreamFactory(const char16_t* type, IQelStream** out);

}  // namespace qel

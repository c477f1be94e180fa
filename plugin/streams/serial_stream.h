// The "COM" stream: a serial port of the terminal with its line settings.
// Reads and writes run in slices bounded by the port's own time-outs, so an
// interrupt event set from another thread ends them between slices.
#pragma once

#include <cstdint>
#include <string>

#include "ce/handle.h"
#include "qel/ms_layout.h"
#include "qel/stream.h"

namespace qel {

class CQelSerialStream final : public IQelStream {
 public:
  static constexpr size_t kBufferSize = 128;

  // The device name ("COM1:") from the type name the factory was asked for.
  explicit CQelSerialStream(std::u16string device);
  // Slot 11 in Microsoft's layout (the destructor's one slot); 11 and 12 elsewhere.
  QEL_SCALAR_DELETING_DESTRUCTOR(CQelSerialStream)
  virtual ~CQelSerialStream();

  bool Interrupt() override;
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
  bool OpenPort();
  const std::u16string& device() const { return device_; }
  // The character time at the configured settings, in ms.
  uint32_t CharacterTime() const;

 private:
  bool Interrupted();
  bool Refused();

  ce::HANDLE port_ = INVALID_HANDLE_VALUE;
  ce::UniqueHandle interrupt_;  // auto-reset
  uint32_t speed_ = 115200;
  std::u16string device_;
  uint8_t parity_ = 0;  // 0 none, 1 odd, 2 even
  uint8_t dataBits_ = 8;
  uint8_t stopBits_ = 0;  // 0 one, 2 two
  uint8_t flow_ = 0;      // 0 none, 1 hardware, 2 software
  uint8_t buffer_[kBufferSize] = {};
  uint32_t readAt_ = 0;
  uint32_t unread_ = 0;
};

// The device name for a type name: the name itself when its fifth character
// is ':', else its first four characters and ':'.
std::u16string SerialDeviceName(std::u16string_view type);
void SerialStreamFactory(const char16_t* type, IQelStream** out);

}  // namespace qel

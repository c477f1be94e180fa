// The "SOCKET" stream: a TCP or UDP client, or a TCP server serving one
// client at a time. Every socket is non-blocking and every wait is a select
// that also watches a wake socket, so Interrupt from another thread (an empty
// datagram to the wake socket) ends the wait in progress.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "ce/socket.h"
#include "core/thread.h"
#include "qel/stream.h"

namespace qel {

class CQelSocketStream final : public IQelStream, public CQelThread {
 public:
  static constexpr uint16_t kDefaultPort = 601;
  static constexpr size_t kBufferSize = 128;

  CQelSocketStream();
  ~CQelSocketStream() override;

  bool Interrupt() override;
  void Open(uint32_t timeoutMs) override;
  // Also the thread base's Close, whose signature it shares: the base's own
  // is reached qualified (CQelThread::Finish does).
  bool Close() override;
  void Destroy() override { delete this; }
  bool Reset() override;
  bool IsConnected() override;
  bool Configure(int32_t count, IQelValue** values) override;
  bool SetAddress(const char16_t* address) override;
  IQelValue* GetAddress() override;
  int32_t Write(const void* buffer, uint32_t count, uint32_t timeoutMs) override;
  int32_t Read(void* buffer, uint32_t count, uint32_t timeoutMs) override;

  // The accept loop of a server stream.
  ce::DWORD Run() override;

 private:
  bool Connect(uint32_t timeoutMs);
  // A select that Interrupt can end; time-outs in ms.
  int Select(ce::fd_set* readable, ce::fd_set* writable, ce::fd_set* failed, uint32_t timeoutMs);
  // Reads the one byte (an empty datagram) an Interrupt sent.
  void DrainWake();
  // Closes the data socket when it is still `which` (the accept thread may
  // have replaced it since); a client stream is then no longer open.
  void CloseData(ce::SOCKET which);

  int type_ = 0;  // SOCK_STREAM or SOCK_DGRAM once configured
  bool server_ = false;
  ce::SOCKADDR_IN local_{};
  std::u16string host_;
  uint16_t port_ = kDefaultPort;
  int32_t keepAlive_ = 1;
  std::atomic<ce::SOCKET> data_{INVALID_SOCKET};
  std::atomic<ce::SOCKET> listen_{INVALID_SOCKET};
  std::atomic<ce::SOCKET> wake_{INVALID_SOCKET};
  char buffer_[kBufferSize] = {};
  uint32_t readAt_ = 0;
  uint32_t unread_ = 0;
  std::atomic<bool> open_{false};
  std::atomic<bool> inSelect_{false};
};

void SocketStreamFactory(const char16_t* type, IQelStream** out);

}  // namespace qel

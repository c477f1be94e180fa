// The wave-out output the beeper plays its tones through: PCM buffers written
// to the wave mapper, and a message thread of its own that takes the driver's
// done notices and tells the callback.
#pragma once

#include <atomic>
#include <cstdint>

#include "ce/audio.h"
#include "ce/handle.h"
#include "ce/sync.h"
#include "core/critical_section.h"
#include "core/thread.h"

namespace qel {

class IQelAudioOutputCallback {
 public:
  virtual void BufferDone(void* buffer, uint32_t bytes, bool notify) = 0;  // slot 0

 protected:
  ~IQelAudioOutputCallback() = default;
};

// Slot 0 destroys the object; the C++ destructor is declared last so that the
// operations keep their slots.
class CQelAudioOutputResource {
 public:
  CQelAudioOutputResource() = default;
  CQelAudioOutputResource(const CQelAudioOutputResource&) = delete;
  CQelAudioOutputResource& operator=(const CQelAudioOutputResource&) = delete;

#if QEL_EXPLICIT_MS_LAYOUT
  QEL_SCALAR_DELETING_DESTRUCTOR(CQelAudioOutputResource)  // slot 0
  void Destroy() { ScalarDeletingDestructor(1); }
#else
  virtual void Destroy() { delete this; }  // slot 0
#endif
  virtual bool Open(uint32_t rate, uint32_t bits, uint32_t channels, uint32_t options) = 0;  // slot 1
  virtual void Close() = 0;                                                                  // slot 2
  virtual void SetCallback(IQelAudioOutputCallback* callback) = 0;                           // slot 3
  virtual bool Play(void* buffer, uint32_t bytes, bool notify) = 0;                          // slot 4
  virtual bool Stop() = 0;                                                                   // slot 5
  virtual ~CQelAudioOutputResource() = default;
};

class CQelAudioOutputPCM final : public CQelAudioOutputResource {
 public:
  CQelAudioOutputPCM();
  ~CQelAudioOutputPCM() override;

  bool Open(uint32_t rate, uint32_t bits, uint32_t channels, uint32_t options) override;
  void Close() override;
  void SetCallback(IQelAudioOutputCallback* callback) override { callback_.store(callback); }
  bool Play(void* buffer, uint32_t bytes, bool notify) override;
  bool Stop() override;

 private:
  class Thread final : public CQelThread {
   public:
    explicit Thread(CQelAudioOutputPCM* output) : CQelThread(u"CQelAudioOutputPCM"), output_(output) {}
    ce::DWORD Run() override;

    // Set once the thread has a message queue, so no notice posted to it is lost.
    ce::UniqueHandle ready{ce::CreateEventW(nullptr, TRUE, FALSE, nullptr)};

   private:
    CQelAudioOutputPCM* output_;
  };

  void Done(ce::HWAVEOUT device, ce::WAVEHDR* header);
  bool StopLocked();

  ce::HWAVEOUT device_ = nullptr;
  ce::WAVEFORMATEX format_{};
  std::atomic<IQelAudioOutputCallback*> callback_{nullptr};  // not owned
  CriticalSection lock_;                                     // open, close, play and stop
  Thread thread_{this};
};

}  // namespace qel

// The audio service (IID_QELAUDIOSERVICE). Beeps are sine tones rendered on a
// beeper thread of their own and played through a wave-out output; sound
// files, the volume, the click levels and the codec gain go to the system and
// the terminal vendor's library. Each class of the chain adds one of these.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "ce/handle.h"
#include "ce/module.h"
#include "ce/vendor.h"
#include "core/queue_thread.h"
#include "devices/audio_output.h"
#include "qel/audio.h"
#include "qel/guids.h"
#include "qel/object.h"

namespace qel {

// A request to the beeper thread: type 1 plays its tones, type 0 ends the
// thread. The request owns its tones; whoever destroys it releases a waiter.
class BeepRequest final : public CQelQueueRequest {
 public:
  enum : uint32_t { kQuit = 0, kPlay = 1 };
  BeepRequest(uint32_t type, std::unique_ptr<BeepTone[]> tones, uint32_t count, ce::HANDLE done);
  ~BeepRequest() override;

  const BeepTone* tones() const { return tones_.get(); }
  uint32_t count() const { return count_; }

 private:
  std::unique_ptr<BeepTone[]> tones_;
  uint32_t count_;
  ce::HANDLE done_;  // not owned: the waiting caller's event, or null
};

// Tones: 22.05 kHz, 16-bit, mono.
inline constexpr uint32_t kToneRate = 22050;
inline constexpr uint32_t kToneBits = 16;
inline constexpr uint32_t kToneChannels = 1;
// The bytes a tone of that length takes, whole samples. Past some 27 hours
// that is more than a wave-out buffer can hold.
uint64_t ToneBytes(uint32_t durationMs);
// Fills bytes of 16-bit samples of a sine at frequency hertz and volume percent.
void RenderTone(int16_t* samples, uint32_t bytes, uint32_t frequency, int32_t volume);

class CQelAudioService : public CQelObject<IQelAudioService, IID_QELAUDIOSERVICE> {
 public:
  CQelAudioService();
  ~CQelAudioService() override;

  bool Beep(uint32_t frequency, uint32_t duration, uint16_t volume, uint32_t repeat, uint32_t mode) override;
  bool BeepDefaultVolume(uint32_t frequency, uint32_t duration, uint32_t repeat, uint32_t mode) override;
  bool BeepSequence(uint32_t count, const BeepTone* tones, uint32_t mode) override;
  uint32_t GetBeepFrequency() override { return beepFrequency_.load(std::memory_order_relaxed); }
  void SetBeepFrequency(uint32_t hertz) override;
  bool SetBeepVolume(uint16_t percent) override;
  uint16_t GetBeepVolume() override { return beepVolume_.load(std::memory_order_relaxed); }
  double GetRecommendedGainDb() override { return GetMaxGainDb(1) * 0.95; }
  bool SetGain(uint16_t, uint32_t) override { return false; }
  int16_t GetGain(uint32_t) override { return -1; }
  bool SetGainDb(double, uint32_t) override { return false; }
  double GetGainDb(uint32_t) override { return -1.0; }
  double GetMaxGainDb(uint32_t) override { return -1.0; }
  int32_t SetMicBoost(bool) override { return -1; }
  int32_t GetMicBoost() override { return -1; }
  bool SetClickLevel(uint32_t, uint32_t) override { return false; }
  bool GetClickLevel(uint32_t*, uint32_t) override { return false; }
  bool VolumeStepUp(uint32_t outputs) override;
  bool VolumeStepDown(uint32_t outputs) override;
  int32_t GetVolumeStep(uint32_t outputs) override;
  bool SetVolumeStep(int32_t step, uint32_t outputs) override;
  int32_t GetVolumeMaxStep(uint32_t) override { return 10; }
  bool StopBeep() override;
  bool PlayTone(uint32_t frequency, uint32_t duration, int32_t volume) override;

  // Whether a wave-out device takes the tone format (no output otherwise).
  bool hasOutput() const { return output_ != nullptr; }

 private:
  class Beeper final : public CQelQueueThread {
   public:
    explicit Beeper(CQelAudioService* service) : CQelQueueThread(u"QelAudio Beeper"), service_(service) {}
    ce::DWORD Run() override;

   private:
    CQelAudioService* service_;
  };

  class OutputCallback final : public IQelAudioOutputCallback {
   public:
    explicit OutputCallback(CQelAudioService* service) : service_(service) {}
    void BufferDone(void*, uint32_t, bool) override;

   private:
    CQelAudioService* service_;
  };

  void Serve(const BeepRequest& request);

  Beeper beeper_{this};
  OutputCallback callback_{this};
  std::atomic<uint32_t> beepFrequency_{2000};
  std::atomic<uint16_t> beepVolume_{100};
  const uint32_t sampleRate_ = kToneRate;
  const uint32_t bitsPerSample_ = kToneBits;
  const uint32_t channels_ = kToneChannels;
  const uint32_t options_ = 0;
  CQelAudioOutputPCM* output_ = nullptr;  // owned; null without a device for the format
  ce::UniqueHandle done_;                 // manual reset: the output returned a buffer
  ce::UniqueHandle stop_;                 // manual reset: StopBeep was called
};

// Sound files and the volume, through the system's wave-out calls.
class CQelAudioServiceWave : public CQelAudioService {
 public:
  bool PlaySound(IQelFileReference* file, uint32_t mode) override;
  bool StopSound() override;
  bool SetVolume(uint16_t percent, uint32_t outputs) override;
  int16_t GetVolume(uint32_t outputs) override;
};

// Key-click and screen-tap levels in the registry, applied by the system.
class CQelAudioServiceClick : public CQelAudioServiceWave {
 public:
  CQelAudioServiceClick();
  bool SetClickLevel(uint32_t level, uint32_t which) override;
  bool GetClickLevel(uint32_t* level, uint32_t which) override;

 private:
  ce::UniqueModule core_;
  ce::PFN_AudioUpdateFromRegistry update_ = nullptr;
};

// Line and microphone gain through the terminal vendor's library.
class CQelAudioServiceLXE final : public CQelAudioServiceClick {
 public:
  CQelAudioServiceLXE();
  bool SetGain(uint16_t percent, uint32_t channel) override;
  int16_t GetGain(uint32_t channel) override;
  bool SetGainDb(double decibels, uint32_t channel) override;
  double GetGainDb(uint32_t channel) override;

 private:
  ce::UniqueModule vendor_;
  ce::PFN_LXEAudioSetGain setGain_ = nullptr;
  ce::PFN_LXEAudioGetGain getGain_ = nullptr;
};

// The service this terminal gets; null when memory runs out.
IQelService* CreateAudioService();

}  // namespace qel

// IID_QELAUDIOSERVICE: beeps and beep sequences, sound files, the speaker
// volume, the line and microphone gain, and the click levels.
#pragma once

#include <cstdint>

#include "qel/command.h"
#include "qel/service.h"

// One tone of a beep sequence, as callers hand it over.
struct BeepTone {
  uint32_t frequency;  // hertz
  uint32_t duration;   // milliseconds
  uint32_t repeat;     // times played; 0 plays nothing
  int32_t volume;      // percent
};
static_assert(sizeof(BeepTone) == 16);

// BeepSequence modes.
enum : uint32_t {
  kBeepBackground = 0,  // stops what plays, returns at once
  kBeepWait = 1,        // stops what plays, returns when the sequence is over
  kBeepQueued = 2,      // plays after what is queued, returns at once
};

// PlaySound modes.
enum : uint32_t { kSoundBackground = 0, kSoundWait = 1, kSoundLoop = 2 };

// Output masks of the volume operations (not used by this terminal's mixer).
enum : uint32_t { kOutputMax = 1, kOutputSpeaker = 2, kOutputHeadphone = 4, kOutputBoth = 6 };

// Click kinds and levels.
enum : uint32_t { kClickKey = 0, kClickScreen = 1 };
enum : uint32_t { kClickOff = 0, kClickSoft = 1, kClickLoud = 2 };

class IQelAudioService : public IQelService {
 public:
  virtual bool Beep(uint32_t frequency, uint32_t duration, uint16_t volume, uint32_t repeat,
                    uint32_t mode) = 0;  // slot 8
  virtual bool BeepDefaultVolume(uint32_t frequency, uint32_t duration, uint32_t repeat,
                                 uint32_t mode) = 0;                                    // slot 9
  virtual bool BeepSequence(uint32_t count, const BeepTone* tones, uint32_t mode) = 0;  // slot 10
  virtual uint32_t GetBeepFrequency() = 0;                                              // slot 11
  virtual void SetBeepFrequency(uint32_t hertz) = 0;                                    // slot 12
  virtual bool SetBeepVolume(uint16_t percent) = 0;                                     // slot 13
  virtual uint16_t GetBeepVolume() = 0;                                                 // slot 14
  virtual bool PlaySound(IQelFileReference* file, uint32_t mode) = 0;                   // slot 15
  virtual bool StopSound() = 0;                                                         // slot 16
  virtual double GetRecommendedGainDb() = 0;                                            // slot 17
  virtual bool SetGain(uint16_t percent, uint32_t channel) = 0;                         // slot 18
  virtual int16_t GetGain(uint32_t channel) = 0;                                        // slot 19
  virtual bool SetGainDb(double decibels, uint32_t channel) = 0;                        // slot 20
  virtual double GetGainDb(uint32_t channel) = 0;                                       // slot 21
  virtual double GetMaxGainDb(uint32_t channel) = 0;                                    // slot 22
  virtual int32_t SetMicBoost(bool on) = 0;                                             // slot 23
  virtual int32_t GetMicBoost() = 0;                                                    // slot 24
  virtual bool SetVolume(uint16_t percent, uint32_t outputs) = 0;                       // slot 25
  virtual int16_t GetVolume(uint32_t outputs) = 0;                                      // slot 26
  virtual bool SetClickLevel(uint32_t level, uint32_t which) = 0;                       // slot 27
  virtual bool GetClickLevel(uint32_t* level, uint32_t which) = 0;                      // slot 28
  virtual bool VolumeStepUp(uint32_t outputs) = 0;                                      // slot 29
  virtual bool VolumeStepDown(uint32_t outputs) = 0;                                    // slot 30
  virtual int32_t GetVolumeStep(uint32_t outputs) = 0;                                  // slot 31
  virtual bool SetVolumeStep(int32_t step, uint32_t outputs) = 0;                       // slot 32
  virtual int32_t GetVolumeMaxStep(uint32_t outputs) = 0;                               // slot 33
  virtual bool StopBeep() = 0;                                                          // slot 34
  virtual bool PlayTone(uint32_t frequency, uint32_t duration, int32_t volume) = 0;     // slot 35

 protected:
  ~IQelAudioService() = default;
};

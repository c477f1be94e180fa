// One sound that PlaySoundW plays: a WAV file's samples on the wave-out
// device that takes their format, once or over and over, rendered like any
// other wave-out output.
//
// The terminal has one speaker for these sounds: a new sound, or a stop, in
// any process ends the one another process plays. Each process that plays
// one answers to a named event of its own (StopSoundOfProcess sets it).
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "wave_out.h"

namespace ce::sim {

class SoundPlayer {
 public:
  // Starts playing the file (held in memory, parsed as wav); nothing when no
  // device takes its format. what: how `terminal show` names it.
  static std::shared_ptr<SoundPlayer> Start(std::vector<uint8_t> file, const WavData& wav, bool loop,
                                            std::string what);
  ~SoundPlayer();
  SoundPlayer(const SoundPlayer&) = delete;
  SoundPlayer& operator=(const SoundPlayer&) = delete;

  // Until the sound has ended (a loop: been stopped) and its device is closed.
  void Wait();
  bool ended() const;
  // Ends the sound where it is now: the output stops there.
  void Stop();

  // Asks every other process of the terminal that plays a sound to stop it.
  static void StopOtherProcesses();

 private:
  SoundPlayer(std::vector<uint8_t> file, bool loop);
  void Done(WAVEHDR* header);
  void CloseWhenEnded();

  const std::vector<uint8_t> file_;
  const bool loop_;
  std::unique_ptr<WaveOut> device_;
  // A loop keeps several buffers of the whole data queued, so that it never
  // waits for a buffer to come back; each is written again when it is done.
  std::vector<WAVEHDR> headers_;

  mutable std::mutex mu_;
  std::condition_variable changed_;
  size_t queued_ = 0;
  bool stopping_ = false;
  bool closed_ = false;
  HANDLE ended_ = nullptr;      // set once nothing is queued
  HANDLE stopAsked_ = nullptr;  // this process's named stop event
  std::thread closer_;
  std::mutex stopping_mu_;  // one Stop at a time: the closer is joined once
};

}  // namespace ce::sim

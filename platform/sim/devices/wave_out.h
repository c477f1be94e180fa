// The terminal's wave-out devices: their capabilities from the hardware state,
// and one open device playing the buffers it is given in real time.
//
// What an open device plays is rendered into a WAV file of the terminal's
// outputs folder ("audio"), at the volume in force when each buffer is
// written, by one rule that keeps the file's timing the speaker's:
//  - a file begins with the first buffer after an open: no leading silence;
//  - a buffer written while the device is busy follows the one before it;
//    the time the device stood idle between two buffers is written as silence;
//  - an idle time longer than kNewFileAfterIdle finishes the file instead,
//    and the next buffer begins a new one;
//  - a reset cuts the file back to what had played by then, so a stop makes
//    the output silent at once; nothing is written after the last buffer;
//  - the header's sizes are right after every buffer, and final at close.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "ce/audio.h"
#include "wav_format.h"
#include "wav_recording.h"

namespace ce::sim {

struct WaveOutDevice {
  std::string id;    // its key in the hardware state ("WAV1")
  std::string name;  // what WAVEOUTCAPSW reports
  uint32_t formats;  // WAVE_FORMAT_* mask
  uint16_t channels;
  uint32_t support;  // WAVECAPS_* flags
};

// The current terminal's devices, in the order of their numbers.
std::vector<WaveOutDevice> WaveOutDevices();

// The device waveOutOpen gives a format: deviceId's own, or for WAVE_MAPPER
// the first that takes it. Nothing, with result MMSYSERR_BADDEVICEID (no such
// device), MMSYSERR_NODRIVER (the mapper, and no device at all) or
// WAVERR_BADFORMAT, when there is none.
std::optional<WaveOutDevice> DeviceFor(UINT deviceId, const PcmFormat& format, MMRESULT* result);

inline constexpr std::chrono::seconds kNewFileAfterIdle{10};

class WaveOut : public std::enable_shared_from_this<WaveOut> {
 public:
  using Clock = std::chrono::steady_clock;
  // Receives MM_WOM_OPEN, MM_WOM_DONE (with the header) and MM_WOM_CLOSE, in
  // that order and one at a time, never under the device's lock.
  using Notify = std::function<void(UINT message, WAVEHDR* header)>;

  // what: how `terminal show` names it while it plays (by default the device and format).
  WaveOut(const WaveOutDevice& device, const PcmFormat& format, std::string what = {});
  ~WaveOut();
  WaveOut(const WaveOut&) = delete;
  WaveOut& operator=(const WaveOut&) = delete;

  // Sends MM_WOM_OPEN and starts the player.
  void Start(Notify notify);

  MMRESULT Prepare(WAVEHDR* header);
  MMRESULT Unprepare(WAVEHDR* header);
  // Queues a prepared buffer; its done notice comes when its time has passed.
  MMRESULT Write(WAVEHDR* header);
  // Returns every queued buffer done at once; what has not played yet is cut.
  MMRESULT Reset();
  // WAVERR_STILLPLAYING while buffers are queued; else stops the player,
  // finishes the file and sends MM_WOM_CLOSE. The device takes no calls after.
  MMRESULT Close();

  // This open's own volume, applied over the system's.
  DWORD volume() const;
  void SetVolume(DWORD volume);

  const PcmFormat& format() const { return format_; }
  const WaveOutDevice& device() const { return device_; }
  // The file being rendered, or empty.
  std::filesystem::path outputPath() const;

 private:
  struct Queued {
    WAVEHDR* header;
    Clock::time_point due;  // when it has played
  };
  struct Notice {
    UINT message;
    WAVEHDR* header;
  };

  Clock::time_point TimeOfFrame(uint64_t frame) const;
  uint64_t FramesBy(Clock::time_point t) const;  // frames played from start_ to t
  // Puts the buffer on the timeline (and into the file) after what is queued.
  void Render(const WAVEHDR& header, Clock::time_point now);
  void Play();
  // Keeps what the terminal shows (audio.playing) in step with the queue. A
  // thread of its own: a write of the hardware state takes milliseconds, which
  // neither a caller nor a done notice should wait for.
  void Report();
  // Hands the waiting notices to notify_, in order; a call from notify_ itself returns at once.
  void Deliver();

  const WaveOutDevice device_;
  const PcmFormat format_;
  const std::string what_;
  Notify notify_;

  mutable std::mutex mu_;
  std::condition_variable changed_;
  std::deque<Queued> queue_;
  std::deque<Notice> outbox_;
  bool delivering_ = false;
  std::thread::id deliverer_;
  bool closing_ = false;
  DWORD volume_ = 0xFFFFFFFF;
  // The timeline of what this open played since its first buffer (or since
  // an idle time began a new file): frame 0 played at start_, and the last
  // buffer written ends at endFrame_. The recording, when the terminal has
  // an outputs folder, holds exactly those frames.
  bool begun_ = false;
  Clock::time_point start_;
  uint64_t endFrame_ = 0;
  std::unique_ptr<WavRecording> recording_;
  std::thread player_;
  std::thread reporter_;
  // Set by a close from a done notice, which runs on the player: the device
  // then lives until the player has unwound, and goes with it.
  std::shared_ptr<WaveOut> closedByPlayer_;
};

}  // namespace ce::sim

#include "wave_out.h"

#include "hardware.h"
#include "playing_list.h"

namespace ce::sim {
namespace {

constexpr int64_t kNanosPerSecond = 1'000'000'000;

// The volume's left and right halves; a device without separate channel
// volumes takes the left for both.
std::pair<uint16_t, uint16_t> Halves(DWORD volume, bool separate) {
  const auto left = uint16_t(volume & 0xFFFF);
  return {left, separate ? uint16_t(volume >> 16) : left};
}

uint16_t Times(uint16_t a, uint16_t b) { return uint16_t(uint32_t(a) * b / 0xFFFF); }

std::string Describe(const WaveOutDevice& device, const PcmFormat& f) {
  return "waveOut " + device.id + " (" + device.name + "): " + std::to_string(f.rate) + " Hz, " +
         std::to_string(f.bits) + "-bit, " + (f.channels == 1 ? "mono" : "stereo");
}

}  // namespace

std::vector<WaveOutDevice> WaveOutDevices() {
  std::vector<WaveOutDevice> devices;
  for (const std::string& id : hw::Read(hw::kWaveOutDevices))
    devices.push_back({id, hw::Read(hw::kWaveOutName, id), hw::Read(hw::kWaveOutFormats, id),
                       hw::Read(hw::kWaveOutChannels, id), hw::Read(hw::kWaveOutSupport, id)});
  return devices;
}

std::optional<WaveOutDevice> DeviceFor(UINT deviceId, const PcmFormat& format, MMRESULT* result) {
  const std::vector<WaveOutDevice> devices = WaveOutDevices();
  const uint32_t bits = FormatBits(format);
  if (deviceId == WAVE_MAPPER) {
    *result = devices.empty() ? MMSYSERR_NODRIVER : WAVERR_BADFORMAT;
    for (const WaveOutDevice& d : devices)
      if (d.formats & bits) {
        *result = MMSYSERR_NOERROR;
        return d;
      }
    return std::nullopt;
  }
  if (deviceId >= devices.size()) {
    *result = MMSYSERR_BADDEVICEID;
    return std::nullopt;
  }
  if (!(devices[deviceId].formats & bits)) {
    *result = WAVERR_BADFORMAT;
    return std::nullopt;
  }
  *result = MMSYSERR_NOERROR;
  return devices[deviceId];
}

WaveOut::WaveOut(const WaveOutDevice& device, const PcmFormat& format, std::string what)
    : device_(device), format_(format), what_(what.empty() ? Describe(device, format) : std::move(what)) {}

WaveOut::~WaveOut() {
  {
    std::lock_guard lock(mu_);
    closing_ = true;
  }
  changed_.notify_all();
  if (player_.joinable()) player_.join();
  if (reporter_.joinable()) reporter_.join();
}

void WaveOut::Start(Notify notify) {
  {
    std::lock_guard lock(mu_);
    notify_ = std::move(notify);
    outbox_.push_back({MM_WOM_OPEN, nullptr});
  }
  Deliver();
  player_ = std::thread([this] {
    Play();
    std::shared_ptr<WaveOut> last;
    {
      std::lock_guard lock(mu_);
      last = std::move(closedByPlayer_);
    }
  });
  reporter_ = std::thread([this] { Report(); });
}

WaveOut::Clock::time_point WaveOut::TimeOfFrame(uint64_t frame) const {
  return start_ + std::chrono::nanoseconds(int64_t(frame) * kNanosPerSecond / format_.rate);
}

uint64_t WaveOut::FramesBy(Clock::time_point t) const {
  const int64_t ns = std::chrono::duration_cast<std::chrono::nanoseconds>(t - start_).count();
  return ns <= 0 ? 0 : uint64_t(ns) * format_.rate / kNanosPerSecond;
}

MMRESULT WaveOut::Prepare(WAVEHDR* header) {
  std::lock_guard lock(mu_);
  if (closing_) return MMSYSERR_INVALHANDLE;
  header->dwFlags |= WHDR_PREPARED;
  return MMSYSERR_NOERROR;
}

MMRESULT WaveOut::Unprepare(WAVEHDR* header) {
  std::lock_guard lock(mu_);
  if (closing_) return MMSYSERR_INVALHANDLE;
  if (header->dwFlags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
  header->dwFlags &= ~DWORD(WHDR_PREPARED);
  return MMSYSERR_NOERROR;
}

MMRESULT WaveOut::Write(WAVEHDR* header) {
  {
    std::lock_guard lock(mu_);
    if (closing_) return MMSYSERR_INVALHANDLE;
    if (!(header->dwFlags & WHDR_PREPARED)) return WAVERR_UNPREPARED;
    if (header->dwFlags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
    header->dwFlags = (header->dwFlags & ~DWORD(WHDR_DONE)) | WHDR_INQUEUE;
    Render(*header, Clock::now());
    queue_.push_back({header, TimeOfFrame(endFrame_)});
  }
  changed_.notify_all();
  return MMSYSERR_NOERROR;
}

void WaveOut::Render(const WAVEHDR& header, Clock::time_point now) {
  if (begun_ && FramesBy(now) > endFrame_) {  // the device stood idle since the last buffer ended
    if (now - TimeOfFrame(endFrame_) > kNewFileAfterIdle) {
      recording_.reset();
      begun_ = false;
    } else {
      const uint64_t gap = FramesBy(now) - endFrame_;
      if (recording_) recording_->AppendSilence(gap);
      endFrame_ += gap;
    }
  }
  if (!begun_) {
    begun_ = true;
    start_ = now;
    endFrame_ = 0;
    std::string ignored;  // without an outputs folder the device still plays, unheard
    recording_ = WavRecording::Begin(format_, &ignored);
  }
  const uint64_t frames = header.dwBufferLength / format_.frameBytes();
  if (recording_ && frames > 0) {
    const bool separate = device_.support & WAVECAPS_LRVOLUME;
    const auto [systemLeft, systemRight] = Halves(hw::Read(hw::kAudioVolume), separate);
    const auto [ownLeft, ownRight] = Halves(volume_, separate);
    recording_->Append({reinterpret_cast<const uint8_t*>(header.lpData), frames * format_.frameBytes()},
                       Times(systemLeft, ownLeft), Times(systemRight, ownRight));
  }
  endFrame_ += frames;
}

void WaveOut::Play() {
  std::unique_lock lock(mu_);
  while (!closing_) {
    if (queue_.empty()) {
      changed_.wait(lock);
      continue;
    }
    const Clock::time_point due = queue_.front().due;
    if (Clock::now() < due) {
      changed_.wait_until(lock, due);
      continue;
    }
    WAVEHDR* done = queue_.front().header;
    queue_.pop_front();
    changed_.notify_all();  // the reporter may have a change to show
    done->dwFlags = (done->dwFlags & ~DWORD(WHDR_INQUEUE)) | WHDR_DONE;
    outbox_.push_back({MM_WOM_DONE, done});
    lock.unlock();
    Deliver();
    lock.lock();
  }
}

void WaveOut::Report() {
  std::unique_lock lock(mu_);
  bool shown = false;
  while (true) {
    changed_.wait(lock, [&] { return closing_ || shown != !queue_.empty(); });
    if (closing_ && !shown) return;
    shown = !closing_ && !queue_.empty();
    lock.unlock();
    ShowPlaying(what_, shown);
    lock.lock();
  }
}

MMRESULT WaveOut::Reset() {
  {
    std::lock_guard lock(mu_);
    if (closing_) return MMSYSERR_INVALHANDLE;
    if (begun_) {
      endFrame_ = std::min(endFrame_, FramesBy(Clock::now()));
      if (recording_) recording_->TruncateTo(endFrame_);
    }
    for (const Queued& q : queue_) {
      q.header->dwFlags = (q.header->dwFlags & ~DWORD(WHDR_INQUEUE)) | WHDR_DONE;
      outbox_.push_back({MM_WOM_DONE, q.header});
    }
    queue_.clear();
  }
  changed_.notify_all();
  Deliver();
  return MMSYSERR_NOERROR;
}

MMRESULT WaveOut::Close() {
  {
    std::lock_guard lock(mu_);
    if (closing_) return MMSYSERR_INVALHANDLE;
    if (!queue_.empty()) return WAVERR_STILLPLAYING;
    closing_ = true;
  }
  changed_.notify_all();
  if (player_.joinable()) {
    if (player_.get_id() == std::this_thread::get_id()) {
      // Closed from its own done notice: whoever owns the device may drop
      // it as soon as this returns, while the player is still inside it.
      std::lock_guard lock(mu_);
      closedByPlayer_ = weak_from_this().lock();
      player_.detach();
    } else
      player_.join();
  }
  if (reporter_.joinable()) reporter_.join();
  {
    std::lock_guard lock(mu_);
    recording_.reset();
    outbox_.push_back({MM_WOM_CLOSE, nullptr});
  }
  Deliver();
  return MMSYSERR_NOERROR;
}

void WaveOut::Deliver() {
  std::unique_lock lock(mu_);
  while (delivering_) {
    if (deliverer_ == std::this_thread::get_id())
      return;  // the loop below, further up this thread, carries on
    changed_.wait(lock);
  }
  delivering_ = true;
  deliverer_ = std::this_thread::get_id();
  while (!outbox_.empty()) {
    const Notice notice = outbox_.front();
    outbox_.pop_front();
    lock.unlock();
    if (notify_) notify_(notice.message, notice.header);
    lock.lock();
  }
  delivering_ = false;
  deliverer_ = {};
  lock.unlock();
  changed_.notify_all();
}

DWORD WaveOut::volume() const {
  std::lock_guard lock(mu_);
  return volume_;
}

void WaveOut::SetVolume(DWORD volume) {
  std::lock_guard lock(mu_);
  volume_ = volume;
}

std::filesystem::path WaveOut::outputPath() const {
  std::lock_guard lock(mu_);
  return recording_ ? recording_->path() : std::filesystem::path();
}

}  // namespace ce::sim

#include "sound_player.h"

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "api.h"
#include "hardware.h"
#include "utf.h"

namespace ce::sim {
namespace {

// A loop keeps at least this much queued ahead of what plays.
constexpr auto kLoopAhead = std::chrono::milliseconds(250);

// The event a process that plays a sound answers to.
std::u16string StopEventName(long pid) { return u"QelSoundStop." + FromUtf8(std::to_string(pid)); }

}  // namespace

void SoundPlayer::StopOtherProcesses() {
  for (const std::string& line : hw::Read(hw::kAudioPlaying)) {
    char* end = nullptr;
    const long pid = std::strtol(line.c_str(), &end, 10);
    if (pid <= 0 || pid == long(::getpid()) || std::string_view(end).rfind(" PlaySoundW ", 0) != 0) continue;
    if (const HANDLE asked = api::OpenEventW(EVENT_ALL_ACCESS, FALSE, StopEventName(pid).c_str())) {
      api::SetEvent(asked);
      api::CloseHandle(asked);
    }
  }
}

SoundPlayer::SoundPlayer(std::vector<uint8_t> file, bool loop) : file_(std::move(file)), loop_(loop) {}

std::shared_ptr<SoundPlayer> SoundPlayer::Start(std::vector<uint8_t> file, const WavData& wav, bool loop,
                                                std::string what) {
  MMRESULT result;
  const auto device = DeviceFor(WAVE_MAPPER, wav.format, &result);
  if (!device) return nullptr;
  // The samples keep their place in the file's bytes, which the player now owns.
  const size_t offset = size_t(wav.samples.data() - file.data());
  const size_t bytes = wav.samples.size();
  std::shared_ptr<SoundPlayer> p(new SoundPlayer(std::move(file), loop));
  p->ended_ = api::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  p->stopAsked_ = api::CreateEventW(nullptr, TRUE, FALSE, StopEventName(::getpid()).c_str());
  if (!p->ended_ || !p->stopAsked_) return nullptr;
  api::ResetEvent(p->stopAsked_);  // a stop asked before this sound began is not for it
  p->device_ = std::make_unique<WaveOut>(*device, wav.format, std::move(what));
  p->device_->Start([raw = p.get()](UINT message, WAVEHDR* header) {
    if (message == MM_WOM_DONE) raw->Done(header);
  });

  size_t copies = bytes > 0 ? 1 : 0;
  if (loop && bytes > 0) {
    const auto length =
        std::chrono::nanoseconds(int64_t(bytes / wav.format.frameBytes()) * 1'000'000'000 / wav.format.rate);
    copies = 2 + size_t(kLoopAhead / std::max(length, std::chrono::nanoseconds(1)));
  }
  p->headers_.resize(copies);
  {
    std::lock_guard lock(p->mu_);
    for (WAVEHDR& h : p->headers_) {
      h = WAVEHDR{};
      h.lpData = reinterpret_cast<char*>(const_cast<uint8_t*>(p->file_.data() + offset));
      h.dwBufferLength = DWORD(bytes);
      p->device_->Prepare(&h);
      if (p->device_->Write(&h) == MMSYSERR_NOERROR) ++p->queued_;
    }
    if (p->queued_ == 0) api::SetEvent(p->ended_);
  }
  p->closer_ = std::thread([raw = p.get()] { raw->CloseWhenEnded(); });
  return p;
}

SoundPlayer::~SoundPlayer() {
  Stop();
  if (ended_) api::CloseHandle(ended_);
  if (stopAsked_) api::CloseHandle(stopAsked_);
}

void SoundPlayer::Done(WAVEHDR* header) {
  std::lock_guard lock(mu_);
  if (loop_ && !stopping_ && device_->Write(header) == MMSYSERR_NOERROR) return;
  if (--queued_ == 0) api::SetEvent(ended_);
  changed_.notify_all();
}

void SoundPlayer::CloseWhenEnded() {
  const HANDLE either[] = {ended_, stopAsked_};
  if (api::WaitForMultipleObjects(2, either, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
    api::ResetEvent(stopAsked_);
    {
      std::lock_guard lock(mu_);
      stopping_ = true;
    }
    device_->Reset();  // another process's sound, or its stop
  }
  std::unique_lock lock(mu_);
  changed_.wait(lock, [&] { return queued_ == 0; });
  lock.unlock();
  device_->Close();
  lock.lock();
  closed_ = true;
  changed_.notify_all();
}

void SoundPlayer::Wait() {
  std::unique_lock lock(mu_);
  changed_.wait(lock, [&] { return closed_; });
}

bool SoundPlayer::ended() const {
  std::lock_guard lock(mu_);
  return queued_ == 0;
}

void SoundPlayer::Stop() {
  std::lock_guard once(stopping_mu_);
  {
    std::lock_guard lock(mu_);
    stopping_ = true;
  }
  if (device_) device_->Reset();  // none when the sound could not start
  if (closer_.joinable()) closer_.join();
}

}  // namespace ce::sim

#include "devices/audio_service.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <numbers>

#include "ce/audio.h"
#include "ce/registry.h"
#include "ce/sync.h"
#include "core/proc_address.h"
#include "core/registry_values.h"

namespace qel {
namespace {

constexpr uint32_t kMinFrequency = 40;
constexpr uint32_t kMaxFrequency = 35000;
constexpr uint32_t kPauseMs = 100;  // between two tones of a request
constexpr uint32_t kMinDoneWaitMs = 5000;
// The format bit a device must report for the tones.
constexpr ce::DWORD kToneFormatBit = 0x10;
constexpr ce::UINT kCapsSize = sizeof(ce::WAVEOUTCAPSW);

// The wave mapper as the volume calls take it, a device number in a handle.
ce::HWAVEOUT WaveMapper() { return reinterpret_cast<ce::HWAVEOUT>(uintptr_t(ce::UINT(WAVE_MAPPER))); }

bool Signalled(ce::HANDLE event) { return ce::WaitForSingleObject(event, 0) == WAIT_OBJECT_0; }

bool ToneDeviceExists() {
  const ce::UINT devices = ce::waveOutGetNumDevs();
  for (ce::UINT i = 0; i < devices; ++i) {
    ce::WAVEOUTCAPSW caps{};
    if (ce::waveOutGetDevCapsW(i, &caps, kCapsSize) == MMSYSERR_NOERROR && (caps.dwFormats & kToneFormatBit))
      return true;
  }
  return false;
}

}  // namespace

BeepRequest::BeepRequest(uint32_t type, std::unique_ptr<BeepTone[]> tones, uint32_t count, ce::HANDLE done)
    : CQelQueueRequest(type), tones_(std::move(tones)), count_(count), done_(done) {}

// Signalled however the request ends, played or discarded by StopBeep, so
// that a caller waiting for it is never left waiting.
BeepRequest::~BeepRequest() {
  if (done_) ce::SetEvent(done_);
}

uint64_t ToneBytes(uint32_t durationMs) {
  const uint32_t bytesPerSample = kToneBits / 8;
  auto bytes = uint64_t(double(kToneChannels) * kToneRate * bytesPerSample * durationMs * 0.001);
  if (kToneBits == 16 && (bytes & 1)) ++bytes;
  return bytes;
}

void RenderTone(int16_t* samples, uint32_t bytes, uint32_t frequency, int32_t volume) {
  const double amplitude = volume * 0.01 * 32767;
  const double omega = 2 * std::numbers::pi * frequency;
  const double step = 1.0 / kToneRate;
  const uint32_t frames = bytes / (2 * kToneChannels);
  double t = 0;
  for (uint32_t f = 0; f < frames; ++f, t += step)
    for (uint32_t c = 0; c < kToneChannels; ++c)
      samples[f * kToneChannels + c] = int16_t(std::sin(omega * t) * amplitude);
}

CQelAudioService::CQelAudioService()
    : done_(ce::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      stop_(ce::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
  if (ToneDeviceExists()) {
    output_ = new (std::nothrow) CQelAudioOutputPCM;
    if (output_) {
      output_->SetCallback(&callback_);
      output_->Open(sampleRate_, bitsPerSample_, channels_, options_);
    }
  }
  beeper_.Start();
}

CQelAudioService::~CQelAudioService() {
  beeper_.Put(new (std::nothrow) BeepRequest(BeepRequest::kQuit, nullptr, 0, nullptr));
  beeper_.Wait(INFINITE);
  if (output_) output_->Destroy();
  output_ = nullptr;
  done_.reset();
  stop_.reset();
}

bool CQelAudioService::Beep(uint32_t frequency, uint32_t duration, uint16_t volume, uint32_t repeat,
                            uint32_t mode) {
  const BeepTone tone{frequency, duration, repeat, int32_t(int16_t(volume))};
  return BeepSequence(1, &tone, mode);
}

bool CQelAudioService::BeepDefaultVolume(uint32_t frequency, uint32_t duration, uint32_t repeat,
                                         uint32_t mode) {
  return Beep(frequency, duration, GetBeepVolume(), repeat, mode);
}

bool CQelAudioService::BeepSequence(uint32_t count, const BeepTone* tones, uint32_t mode) {
  if (mode != kBeepBackground && mode != kBeepWait && mode != kBeepQueued) return false;
  std::unique_ptr<BeepTone[]> copy(new (std::nothrow) BeepTone[count ? count : 1]);
  if (!copy) return false;
  if (count && tones) std::memcpy(copy.get(), tones, count * sizeof(BeepTone));
  if (!tones) count = 0;

  if (mode != kBeepWait) {
    if (mode == kBeepBackground) StopBeep();
    auto* request = new (std::nothrow) BeepRequest(BeepRequest::kPlay, std::move(copy), count, nullptr);
    if (!request) return false;
    beeper_.Put(request);
    return true;
  }
  ce::UniqueHandle finished(ce::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!finished) return false;
  StopBeep();
  auto* request = new (std::nothrow) BeepRequest(BeepRequest::kPlay, std::move(copy), count, finished.get());
  if (!request) return false;
  beeper_.Put(request);
  ce::WaitForSingleObject(finished.get(), INFINITE);
  return true;
}

void CQelAudioService::SetBeepFrequency(uint32_t hertz) {
  beepFrequency_.store(std::clamp(hertz, kMinFrequency, kMaxFrequency), std::memory_order_relaxed);
}

bool CQelAudioService::SetBeepVolume(uint16_t percent) {
  beepVolume_.store(std::min<uint16_t>(percent, 100), std::memory_order_relaxed);
  return true;
}

bool CQelAudioService::VolumeStepUp(uint32_t outputs) {
  const int32_t v = GetVolume(outputs);
  if (v < 0) return false;
  return SetVolume(uint16_t(std::min(((v + 15) / 10) * 10, 100)), outputs);
}

bool CQelAudioService::VolumeStepDown(uint32_t outputs) {
  const int32_t v = GetVolume(outputs);
  if (v < 0) return false;
  return SetVolume(uint16_t(std::clamp(((v - 10) / 10) * 10, 0, 100)), outputs);
}

int32_t CQelAudioService::GetVolumeStep(uint32_t outputs) {
  const int32_t v = GetVolume(outputs);
  return v < 0 ? 0 : (v + 5) / 10;
}

bool CQelAudioService::SetVolumeStep(int32_t step, uint32_t outputs) {
  return SetVolume(uint16_t(step * 10), outputs);
}

bool CQelAudioService::StopBeep() {
  beeper_.Clear();
  ce::SetEvent(stop_.get());
  return output_ ? output_->Stop() : false;
}

bool CQelAudioService::PlayTone(uint32_t frequency, uint32_t duration, int32_t volume) {
  if (!output_) return false;
  // A buffer too long for a wave-out header cannot be had, like any other
  // that cannot be allocated: the tone is skipped.
  const uint64_t wanted = ToneBytes(duration);
  if (wanted > std::numeric_limits<ce::DWORD>::max()) return false;
  const auto bytes = uint32_t(wanted);
  std::unique_ptr<int16_t[]> buffer(new (std::nothrow) int16_t[bytes / 2 + 1]);
  if (!buffer) return false;
  RenderTone(buffer.get(), bytes, frequency, volume);
  ce::ResetEvent(done_.get());
  const bool played = output_->Play(buffer.get(), bytes, true);
  ce::WaitForSingleObject(stop_.get(), duration);  // times the tone; a stop ends it early
  ce::WaitForSingleObject(done_.get(), std::max(2 * duration, kMinDoneWaitMs));
  return played;
}

void CQelAudioService::OutputCallback::BufferDone(void*, uint32_t, bool) {
  ce::SetEvent(service_->done_.get());
}

void CQelAudioService::Serve(const BeepRequest& request) {
  ce::ResetEvent(stop_.get());
  for (uint32_t i = 0; i < request.count(); ++i) {
    if (Signalled(stop_.get())) return;
    const BeepTone& tone = request.tones()[i];
    const bool lastTone = i + 1 == request.count();
    for (uint32_t r = 0; r < tone.repeat; ++r) {
      // Called without the virtual dispatch: the beeper runs while the
      // service's derived parts are being made and unmade.
      CQelAudioService::PlayTone(tone.frequency, tone.duration, tone.volume);
      if (lastTone && r + 1 == tone.repeat) break;
      if (ce::WaitForSingleObject(stop_.get(), kPauseMs) == WAIT_OBJECT_0) return;
    }
  }
}

ce::DWORD CQelAudioService::Beeper::Run() {
  CQelQueueRequest* next = nullptr;
  while (Get(&next)) {
    std::unique_ptr<BeepRequest> request(static_cast<BeepRequest*>(next));
    service_->Serve(*request);
  }
  return 0;
}

// The wave level.

bool CQelAudioServiceWave::PlaySound(IQelFileReference* file, uint32_t mode) {
  const char16_t* path = file ? file->FullPath() : nullptr;
  ce::DWORD flags = SND_NODEFAULT;  // and synchronous
  if (mode == kSoundBackground) flags = SND_ASYNC | SND_NODEFAULT;
  if (mode == kSoundLoop) flags = SND_ASYNC | SND_LOOP | SND_NODEFAULT;
  return ce::PlaySoundW(path, nullptr, flags) == 1;
}

bool CQelAudioServiceWave::StopSound() { return ce::PlaySoundW(nullptr, nullptr, 0) == 1; }

bool CQelAudioServiceWave::SetVolume(uint16_t percent, uint32_t) {
  const auto level = uint16_t(uint32_t(percent * 655.35 + 0.5));
  return ce::waveOutSetVolume(WaveMapper(), ce::DWORD(level) | ce::DWORD(level) << 16) == MMSYSERR_NOERROR;
}

int16_t CQelAudioServiceWave::GetVolume(uint32_t) {
  ce::DWORD v = 0;
  if (ce::waveOutGetVolume(WaveMapper(), &v) != MMSYSERR_NOERROR) return -1;
  return int16_t((v & 0xFFFF) * 100.0 / 65535 + 0.5);
}

// The click level.

namespace {

const char16_t* ClickValueName(uint32_t which) {
  if (which == kClickKey) return u"Key";
  if (which == kClickScreen) return u"Screen";
  return nullptr;
}

// Stored levels: off, soft and loud.
constexpr ce::DWORD kStoredClick[] = {0, 1, 0x10002};
constexpr const char16_t* kVolumeKey = u"ControlPanel\\Volume";

}  // namespace

CQelAudioServiceClick::CQelAudioServiceClick() : core_(ce::LoadLibraryW(u"coredll.dll")) {
  if (core_) update_ = ProcAddress<ce::PFN_AudioUpdateFromRegistry>(core_.get(), u"AudioUpdateFromRegistry");
}

bool CQelAudioServiceClick::SetClickLevel(uint32_t level, uint32_t which) {
  const char16_t* name = ClickValueName(which);
  if (!name || !update_ || level >= std::size(kStoredClick)) return false;
  const ce::RegKey key = OpenExistingKey(HKEY_CURRENT_USER, kVolumeKey);
  if (!key) return false;
  WriteDword(key.get(), name, kStoredClick[level]);
  update_();
  return true;
}

bool CQelAudioServiceClick::GetClickLevel(uint32_t* level, uint32_t which) {
  const char16_t* name = ClickValueName(which);
  if (!name) return false;
  const ce::RegKey key = OpenExistingKey(HKEY_CURRENT_USER, kVolumeKey);
  ce::DWORD stored = 0xFFFFFFFF;
  if (!key || !QueryDword(key.get(), name, &stored)) return false;
  const auto* found = std::find(std::begin(kStoredClick), std::end(kStoredClick), stored);
  if (found == std::end(kStoredClick)) return false;
  if (level) *level = uint32_t(found - std::begin(kStoredClick));
  return true;
}

// The vendor level.

namespace {
constexpr double kMinGainDb = -17.0;
constexpr double kMaxGainDb = 29.0;
}  // namespace

CQelAudioServiceLXE::CQelAudioServiceLXE() : vendor_(ce::LoadLibraryW(u"LXEAPI.dll")) {
  if (!vendor_) return;
  setGain_ = ProcAddress<ce::PFN_LXEAudioSetGain>(vendor_.get(), u"LXEAudioSetGain");
  getGain_ = ProcAddress<ce::PFN_LXEAudioGetGain>(vendor_.get(), u"LXEAudioGetGain");
}

bool CQelAudioServiceLXE::SetGain(uint16_t percent, uint32_t) {
  if (percent > 100 || !setGain_) return false;
  return setGain_(ce::LONG(percent * 2.9)) != 0;
}

int16_t CQelAudioServiceLXE::GetGain(uint32_t) {
  ce::LONG raw = 0;
  if (!getGain_ || getGain_(&raw) == 0) return -1;
  constexpr float kPerTenth = 1.0f / 29;  // single precision: a raw 290 reads back as 99
  return int16_t(double(raw * 10) * kPerTenth);
}

bool CQelAudioServiceLXE::SetGainDb(double decibels, uint32_t) {
  if (decibels < kMinGainDb || decibels > kMaxGainDb || !setGain_) return false;
  return setGain_(ce::LONG(decibels * 10)) != 0;
}

double CQelAudioServiceLXE::GetGainDb(uint32_t) {
  ce::LONG raw = 0;
  if (!getGain_ || getGain_(&raw) == 0) return 0.0;
  return raw * 0.1;
}

IQelService* CreateAudioService() { return new (std::nothrow) CQelAudioServiceLXE; }

}  // namespace qel

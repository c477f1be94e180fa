// The wave-out calls and PlaySoundW, over the terminal's wave-out devices.
#include "ce/audio.h"

#include <algorithm>
#include <cstring>

#include "api.h"
#include "ce/error.h"
#include "ce/files.h"
#include "ce/window.h"
#include "hardware.h"
#include "kernel.h"
#include "last_error.h"
#include "sound_player.h"
#include "sync_objects.h"
#include "utf.h"
#include "wave_out.h"

namespace ce::sim::api {
namespace {

using WaveCallback = void (*)(HWAVEOUT, UINT, uintptr_t, uintptr_t, uintptr_t);

constexpr DWORD kOpenFlags = CALLBACK_TYPEMASK | WAVE_FORMAT_QUERY;
// The largest sound file PlaySoundW reads.
constexpr DWORD kMaxSoundFileBytes = 64u << 20;

auto& WaveOuts() { return Kernel::Get().waveOuts; }

// Where waveOutOpen's notices go, in the caller's terms; the thread that
// sends one keeps its last error.
WaveOut::Notify Notifier(HWAVEOUT handle, DWORD type, uintptr_t callback, uintptr_t instance,
                         std::shared_ptr<Event> event) {
  return [=](UINT message, WAVEHDR* header) {
    switch (type) {
      case CALLBACK_THREAD: {
        const DWORD kept = GetLastError();
        PostThreadMessageW(DWORD(callback), message, WPARAM(handle), LPARAM(header));
        SetLastError(kept);
        break;
      }
      case CALLBACK_WINDOW: {
        const DWORD kept = GetLastError();
        PostMessageW(reinterpret_cast<HWND>(callback), message, WPARAM(handle), LPARAM(header));
        SetLastError(kept);
        break;
      }
      case CALLBACK_EVENT:
        event->Set();
        break;
      case CALLBACK_FUNCTION:
        reinterpret_cast<WaveCallback>(callback)(handle, message, instance, uintptr_t(header), 0);
        break;
      default:
        break;
    }
  };
}

// The volume calls take an open handle, a device number or WAVE_MAPPER (as a
// 32-bit or a pointer-wide -1); a device number addresses the system volume.
enum class VolumeTarget { kOpen, kSystem, kNone };

VolumeTarget Target(HWAVEOUT handle, std::shared_ptr<WaveOut>* open, MMRESULT* error) {
  if ((*open = WaveOuts().Lookup(handle))) return VolumeTarget::kOpen;
  const auto value = reinterpret_cast<uintptr_t>(handle);
  const bool mapper = value == UINTPTR_MAX || value == uintptr_t(WAVE_MAPPER);
  const std::vector<WaveOutDevice> devices = WaveOutDevices();
  if ((mapper && !devices.empty()) || value < devices.size()) {
    const WaveOutDevice& d = devices[mapper ? 0 : value];
    if (!(d.support & WAVECAPS_VOLUME)) {
      *error = MMSYSERR_NOTSUPPORTED;
      return VolumeTarget::kNone;
    }
    return VolumeTarget::kSystem;
  }
  *error = mapper || value <= 0xFFFF ? MMSYSERR_BADDEVICEID : MMSYSERR_INVALHANDLE;
  return VolumeTarget::kNone;
}

// The whole file at a device path, or nothing.
std::optional<std::vector<uint8_t>> ReadSoundFile(LPCWSTR path) {
  struct Closer {
    HANDLE h;
    ~Closer() { CloseHandle(h); }
    HANDLE get() const { return h; }
  };
  const HANDLE opened = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (opened == INVALID_HANDLE_VALUE) return std::nullopt;
  const Closer file{opened};
  const DWORD size = GetFileSize(file.get(), nullptr);
  if (size == INVALID_FILE_SIZE || size > kMaxSoundFileBytes) return std::nullopt;
  std::vector<uint8_t> bytes(size);
  DWORD read = 0;
  if (size > 0 && (!ReadFile(file.get(), bytes.data(), size, &read, nullptr) || read != size))
    return std::nullopt;
  return bytes;
}

// Takes what PlaySoundW plays out of the process's slot, when it is expected
// (or anything, for null), and stops it: a synchronous caller waiting for it
// returns.
void StopSound(const SoundPlayer* expected = nullptr) {
  std::shared_ptr<SoundPlayer> taken;
  {
    auto& slot = Kernel::Get().sound;
    std::lock_guard lock(slot.mu);
    if (expected && slot.current.get() != expected) return;
    taken = std::move(slot.current);
  }
  if (taken) taken->Stop();
}

// A process that ends stops its sound, so that the output ends where the
// playing did rather than with the buffers queued ahead of it.
const struct StopAtExit {
  ~StopAtExit() { StopSound(); }
} kStopAtExit;

}  // namespace

UINT waveOutGetNumDevs() { return UINT(WaveOutDevices().size()); }

MMRESULT waveOutGetDevCapsW(UINT deviceId, WAVEOUTCAPSW* caps, UINT size) {
  const std::vector<WaveOutDevice> devices = WaveOutDevices();
  if (deviceId == WAVE_MAPPER && !devices.empty()) deviceId = 0;  // the mapper answers as the first device
  if (deviceId >= devices.size()) return MMSYSERR_BADDEVICEID;
  if (!caps) return MMSYSERR_INVALPARAM;
  const WaveOutDevice& d = devices[deviceId];
  WAVEOUTCAPSW c{};
  c.vDriverVersion = 0x0100;
  const std::u16string name = FromUtf8(d.name).substr(0, std::size(c.szPname) - 1);
  std::copy(name.begin(), name.end(), c.szPname);
  c.dwFormats = d.formats;
  c.wChannels = d.channels;
  c.dwSupport = d.support;
  // A short structure gets what fits, as from an older caller.
  std::memcpy(caps, &c, std::min<size_t>(size, sizeof c));
  return MMSYSERR_NOERROR;
}

MMRESULT waveOutOpen(HWAVEOUT* handle, UINT deviceId, const WAVEFORMATEX* format, uintptr_t callback,
                     uintptr_t instance, DWORD flags) {
  const bool query = flags & WAVE_FORMAT_QUERY;
  if (!format || (!handle && !query)) return MMSYSERR_INVALPARAM;
  const DWORD type = flags & CALLBACK_TYPEMASK;
  if ((flags & ~kOpenFlags) ||
      !(type == CALLBACK_NULL || type == CALLBACK_WINDOW || type == CALLBACK_THREAD ||
        type == CALLBACK_FUNCTION || type == CALLBACK_EVENT))
    return MMSYSERR_INVALFLAG;
  MMRESULT result = WAVERR_BADFORMAT;
  const auto pcm = PcmOf(*format);
  std::optional<WaveOutDevice> device;
  if (pcm) {
    device = DeviceFor(deviceId, *pcm, &result);
  } else if (deviceId != WAVE_MAPPER && deviceId >= WaveOutDevices().size()) {
    result = MMSYSERR_BADDEVICEID;
  }
  if (!device || query) return result;
  if (type == CALLBACK_WINDOW && !IsWindow(reinterpret_cast<HWND>(callback))) return MMSYSERR_INVALPARAM;
  std::shared_ptr<Event> event;
  if (type == CALLBACK_EVENT && !(event = LookupHandleAs<Event>(reinterpret_cast<HANDLE>(callback))))
    return MMSYSERR_INVALPARAM;
  if (type == CALLBACK_FUNCTION && !callback) return MMSYSERR_INVALPARAM;

  auto open = std::make_shared<WaveOut>(*device, *pcm);
  const HWAVEOUT h = WaveOuts().Add(open);
  if (!h) return MMSYSERR_NOMEM;
  *handle = h;
  open->Start(Notifier(h, type, callback, instance, std::move(event)));
  return MMSYSERR_NOERROR;
}

MMRESULT waveOutClose(HWAVEOUT handle) {
  const auto open = WaveOuts().Lookup(handle);
  if (!open) return MMSYSERR_INVALHANDLE;
  const MMRESULT result = open->Close();
  if (result == MMSYSERR_NOERROR) WaveOuts().Close(handle);
  return result;
}

MMRESULT waveOutPrepareHeader(HWAVEOUT handle, WAVEHDR* header, UINT size) {
  const auto open = WaveOuts().Lookup(handle);
  if (!open) return MMSYSERR_INVALHANDLE;
  if (!header || size < sizeof(WAVEHDR) || (!header->lpData && header->dwBufferLength))
    return MMSYSERR_INVALPARAM;
  return open->Prepare(header);
}

MMRESULT waveOutUnprepareHeader(HWAVEOUT handle, WAVEHDR* header, UINT size) {
  const auto open = WaveOuts().Lookup(handle);
  if (!open) return MMSYSERR_INVALHANDLE;
  if (!header || size < sizeof(WAVEHDR)) return MMSYSERR_INVALPARAM;
  return open->Unprepare(header);
}

MMRESULT waveOutWrite(HWAVEOUT handle, WAVEHDR* header, UINT size) {
  const auto open = WaveOuts().Lookup(handle);
  if (!open) return MMSYSERR_INVALHANDLE;
  if (!header || size < sizeof(WAVEHDR)) return MMSYSERR_INVALPARAM;
  return open->Write(header);
}

MMRESULT waveOutReset(HWAVEOUT handle) {
  const auto open = WaveOuts().Lookup(handle);
  return open ? open->Reset() : MMSYSERR_INVALHANDLE;
}

MMRESULT waveOutSetVolume(HWAVEOUT handle, DWORD volume) {
  std::shared_ptr<WaveOut> open;
  MMRESULT error = MMSYSERR_NOERROR;
  switch (Target(handle, &open, &error)) {
    case VolumeTarget::kOpen:
      open->SetVolume(volume);
      return MMSYSERR_NOERROR;
    case VolumeTarget::kSystem:
      return hw::Write(hw::kAudioVolume, volume) ? MMSYSERR_NOERROR : MMSYSERR_ERROR;
    case VolumeTarget::kNone:
      break;
  }
  return error;
}

MMRESULT waveOutGetVolume(HWAVEOUT handle, DWORD* volume) {
  std::shared_ptr<WaveOut> open;
  MMRESULT error = MMSYSERR_NOERROR;
  const VolumeTarget target = Target(handle, &open, &error);
  if (target == VolumeTarget::kNone) return error;
  if (!volume) return MMSYSERR_INVALPARAM;
  *volume = target == VolumeTarget::kOpen ? open->volume() : hw::Read(hw::kAudioVolume);
  return MMSYSERR_NOERROR;
}

BOOL PlaySoundW(LPCWSTR sound, HMODULE, DWORD flags) {
  if (!sound) {
    StopSound();
    SoundPlayer::StopOtherProcesses();
    return TRUE;
  }
  // Sounds come from files: no aliases of the registry's sound scheme, no
  // images in memory. A loop plays until stopped, so it cannot be waited for.
  if ((flags & (SND_ALIAS | SND_MEMORY)) || ((flags & SND_LOOP) && !(flags & SND_ASYNC))) return FALSE;
  if (flags & SND_NOSTOP) {
    auto& slot = Kernel::Get().sound;
    std::lock_guard lock(slot.mu);
    if (slot.current && !slot.current->ended()) return FALSE;
  }
  auto file = ReadSoundFile(sound);
  if (!file) return FALSE;
  const auto wav = ParseWav(*file);
  if (!wav) return FALSE;
  StopSound();
  SoundPlayer::StopOtherProcesses();
  const bool loop = flags & SND_LOOP;
  auto player = SoundPlayer::Start(std::move(*file), *wav, loop,
                                   "PlaySoundW " + ToUtf8(sound) + (loop ? ", looping" : ""));
  if (!player) return FALSE;
  std::shared_ptr<SoundPlayer> replaced;
  {
    auto& slot = Kernel::Get().sound;
    std::lock_guard lock(slot.mu);
    replaced = std::exchange(slot.current, player);
  }
  if (replaced) replaced->Stop();  // another thread's sound that began meanwhile
  if (!(flags & SND_ASYNC)) {
    player->Wait();
    StopSound(player.get());
  }
  return TRUE;
}

}  // namespace ce::sim::api

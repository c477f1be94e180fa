// On the device a sound's name is a file path whether SND_FILENAME is given
// or not; desktop Windows would first look it up as a sound alias (and, its
// name not found, play the default sound). The device also refuses at once
// what it cannot play, where a desktop answers an asynchronous call before it
// has read the file: aliases and images in memory, a loop to be waited for,
// and a file that is missing or no PCM sound the device plays.
#include <cstdint>
#include <vector>

#include "ce/audio.h"
#include "device/wav_file.h"

namespace ce {
namespace {

constexpr DWORD kLargestSound = 64u << 20;  // more than the device's memory holds

bool Playable(LPCWSTR path) {
  const HANDLE file = ::CreateFileW(reinterpret_cast<const wchar_t*>(path), GENERIC_READ, FILE_SHARE_READ,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  std::vector<uint8_t> bytes;
  LARGE_INTEGER size{};
  bool read = ::GetFileSizeEx(file, &size) && size.QuadPart <= kLargestSound;
  if (read) {
    bytes.resize(size_t(size.QuadPart));
    DWORD got = 0;
    read = ::ReadFile(file, bytes.data(), DWORD(bytes.size()), &got, nullptr) && got == bytes.size();
  }
  ::CloseHandle(file);
  return read && device_sound::ParseWav(bytes).has_value();
}

}  // namespace

BOOL PlaySoundW(LPCWSTR sound, HMODULE module, DWORD flags) {
  if (sound != nullptr && (flags & SND_RESOURCE) == 0) {
    if ((flags & (SND_ALIAS | SND_MEMORY)) || ((flags & SND_LOOP) && !(flags & SND_ASYNC))) return FALSE;
    if (!Playable(sound)) return FALSE;
    flags |= SND_FILENAME;
  }
  return ::PlaySoundW(reinterpret_cast<const wchar_t*>(sound), module, flags);
}

}  // namespace ce

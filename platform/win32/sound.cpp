// On the device a sound's name is a file path whether SND_FILENAME is given
// or not; desktop Windows would first look it up as a sound alias (and, its
// name not found, play the default sound).
#include "ce/audio.h"

namespace ce {

BOOL PlaySoundW(LPCWSTR sound, HMODULE module, DWORD flags) {
  if (sound != nullptr && (flags & (SND_ALIAS | SND_MEMORY | SND_RESOURCE)) == 0) flags |= SND_FILENAME;
  return ::PlaySoundW(reinterpret_cast<const wchar_t*>(sound), module, flags);
}

}  // namespace ce

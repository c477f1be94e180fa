// Until the terminal has its wave-out driver: a terminal without sound
// hardware, as the calls answer on one that has no wave device.
#include "api.h"
#include "ce/audio.h"

namespace ce::sim::api {

UINT waveOutGetNumDevs() { return 0; }
MMRESULT waveOutGetDevCapsW(UINT, WAVEOUTCAPSW*, UINT) { return MMSYSERR_BADDEVICEID; }
MMRESULT waveOutOpen(HWAVEOUT*, UINT, const WAVEFORMATEX*, uintptr_t, uintptr_t, DWORD) {
  return MMSYSERR_BADDEVICEID;
}
MMRESULT waveOutClose(HWAVEOUT) { return MMSYSERR_INVALHANDLE; }
MMRESULT waveOutPrepareHeader(HWAVEOUT, WAVEHDR*, UINT) { return MMSYSERR_INVALHANDLE; }
MMRESULT waveOutUnprepareHeader(HWAVEOUT, WAVEHDR*, UINT) { return MMSYSERR_INVALHANDLE; }
MMRESULT waveOutWrite(HWAVEOUT, WAVEHDR*, UINT) { return MMSYSERR_INVALHANDLE; }
MMRESULT waveOutReset(HWAVEOUT) { return MMSYSERR_INVALHANDLE; }
MMRESULT waveOutSetVolume(HWAVEOUT, DWORD) { return MMSYSERR_NODRIVER; }
MMRESULT waveOutGetVolume(HWAVEOUT, DWORD*) { return MMSYSERR_NODRIVER; }
BOOL PlaySoundW(LPCWSTR, HMODULE, DWORD) { return FALSE; }

}  // namespace ce::sim::api

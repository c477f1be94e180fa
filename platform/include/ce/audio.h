// Sound output: the wave-out devices (waveOut*), PlaySoundW of sound files,
// and the system's reload of the click settings. The structures are the
// device's packed mmsystem layouts: WAVEOUTCAPSW is 84 bytes, WAVEFORMATEX 18,
// and WAVEHDR four pointers and four DWORDs (32 bytes on the device).
#pragma once

#include "ce/types.h"

namespace ce {

#if defined(_WIN32)
using ::HWAVEOUT;
using ::LPHWAVEOUT;
using ::MMRESULT;
using ::WAVEFORMATEX;
using ::WAVEHDR;
using ::WAVEOUTCAPSW;
#else
using MMRESULT = UINT;
using HWAVEOUT = void*;
using LPHWAVEOUT = HWAVEOUT*;
using MMVERSION = UINT;

#pragma pack(push, 1)
struct WAVEFORMATEX {
  WORD wFormatTag;
  WORD nChannels;
  DWORD nSamplesPerSec;
  DWORD nAvgBytesPerSec;
  WORD nBlockAlign;
  WORD wBitsPerSample;
  WORD cbSize;
};

struct WAVEHDR {
  char* lpData;
  DWORD dwBufferLength;
  DWORD dwBytesRecorded;
  uintptr_t dwUser;
  DWORD dwFlags;
  DWORD dwLoops;
  WAVEHDR* lpNext;
  uintptr_t reserved;
};

struct WAVEOUTCAPSW {
  WORD wMid;
  WORD wPid;
  MMVERSION vDriverVersion;
  WCHAR szPname[32];
  DWORD dwFormats;
  WORD wChannels;
  WORD wReserved1;
  DWORD dwSupport;
};
#pragma pack(pop)
#endif

static_assert(sizeof(WAVEFORMATEX) == 18);
static_assert(sizeof(WAVEOUTCAPSW) == 84);
static_assert(sizeof(WAVEHDR) == 4 * sizeof(void*) + 4 * sizeof(DWORD));

}  // namespace ce

#ifndef MMSYSERR_NOERROR
#define MMSYSERR_NOERROR 0
#define MMSYSERR_ERROR 1
#define MMSYSERR_BADDEVICEID 2
#define MMSYSERR_NOTENABLED 3
#define MMSYSERR_ALLOCATED 4
#define MMSYSERR_INVALHANDLE 5
#define MMSYSERR_NODRIVER 6
#define MMSYSERR_NOMEM 7
#define MMSYSERR_NOTSUPPORTED 8
#define MMSYSERR_INVALFLAG 10
#define MMSYSERR_INVALPARAM 11
#define MMSYSERR_HANDLEBUSY 12
#endif
#ifndef WAVERR_BADFORMAT
#define WAVERR_BADFORMAT 32
#define WAVERR_STILLPLAYING 33
#define WAVERR_UNPREPARED 34
#define WAVERR_SYNC 35
#endif
#ifndef WAVE_MAPPER
#define WAVE_MAPPER (static_cast<::ce::UINT>(-1))
#endif
#ifndef WAVE_FORMAT_PCM
#define WAVE_FORMAT_PCM 1
#endif
#ifndef WAVE_FORMAT_QUERY
#define WAVE_FORMAT_QUERY 0x0001
#endif
// dwFormats bits: rate (1 = 11.025, 2 = 22.05, 4 = 44.1 kHz), mono or stereo, 8 or 16 bits.
#ifndef WAVE_FORMAT_1M08
#define WAVE_FORMAT_1M08 0x00000001
#define WAVE_FORMAT_1S08 0x00000002
#define WAVE_FORMAT_1M16 0x00000004
#define WAVE_FORMAT_1S16 0x00000008
#define WAVE_FORMAT_2M08 0x00000010
#define WAVE_FORMAT_2S08 0x00000020
#define WAVE_FORMAT_2M16 0x00000040
#define WAVE_FORMAT_2S16 0x00000080
#define WAVE_FORMAT_4M08 0x00000100
#define WAVE_FORMAT_4S08 0x00000200
#define WAVE_FORMAT_4M16 0x00000400
#define WAVE_FORMAT_4S16 0x00000800
#endif
#ifndef WAVECAPS_VOLUME
#define WAVECAPS_PITCH 0x0001
#define WAVECAPS_PLAYBACKRATE 0x0002
#define WAVECAPS_VOLUME 0x0004
#define WAVECAPS_LRVOLUME 0x0008
#endif
// Where waveOutOpen's done notices go.
#ifndef CALLBACK_NULL
#define CALLBACK_TYPEMASK 0x00070000
#define CALLBACK_NULL 0x00000000
#define CALLBACK_WINDOW 0x00010000
#define CALLBACK_TASK 0x00020000
#define CALLBACK_FUNCTION 0x00030000
#define CALLBACK_THREAD CALLBACK_TASK
#define CALLBACK_EVENT 0x00050000
#endif
#ifndef MM_WOM_OPEN
#define MM_WOM_OPEN 0x3BB
#define MM_WOM_CLOSE 0x3BC
#define MM_WOM_DONE 0x3BD
#endif
#ifndef WHDR_DONE
#define WHDR_DONE 0x00000001
#define WHDR_PREPARED 0x00000002
#define WHDR_BEGINLOOP 0x00000004
#define WHDR_ENDLOOP 0x00000008
#define WHDR_INQUEUE 0x00000010
#endif
#ifndef SND_SYNC
#define SND_SYNC 0x0000
#define SND_ASYNC 0x0001
#define SND_NODEFAULT 0x0002
#define SND_MEMORY 0x0004
#define SND_LOOP 0x0008
#define SND_NOSTOP 0x0010
#define SND_ALIAS 0x00010000
#define SND_FILENAME 0x00020000
#endif

namespace ce {

// Devices are numbered from 0; WAVE_MAPPER (as a device number, or cast to
// HWAVEOUT for the volume calls) picks the first device that takes the format.
UINT waveOutGetNumDevs();
MMRESULT waveOutGetDevCapsW(UINT deviceId, WAVEOUTCAPSW* caps, UINT size);
// fdwOpen's CALLBACK_* type says where MM_WOM_OPEN, MM_WOM_DONE and
// MM_WOM_CLOSE go: CALLBACK_THREAD posts them to the thread whose id is
// callback, CALLBACK_WINDOW to the window callback, CALLBACK_EVENT sets the
// event, CALLBACK_FUNCTION calls it. A done notice's lParam is the WAVEHDR,
// wParam the wave-out handle, and it is sent when the buffer's playing time
// has passed.
MMRESULT waveOutOpen(HWAVEOUT* handle, UINT deviceId, const WAVEFORMATEX* format, uintptr_t callback,
                     uintptr_t instance, DWORD flags);
MMRESULT waveOutClose(HWAVEOUT handle);
MMRESULT waveOutPrepareHeader(HWAVEOUT handle, WAVEHDR* header, UINT size);
MMRESULT waveOutUnprepareHeader(HWAVEOUT handle, WAVEHDR* header, UINT size);
MMRESULT waveOutWrite(HWAVEOUT handle, WAVEHDR* header, UINT size);
// Stops playing and returns every queued buffer as done.
MMRESULT waveOutReset(HWAVEOUT handle);
// volume: left channel in the low word, right in the high word, 0xFFFF full.
MMRESULT waveOutSetVolume(HWAVEOUT handle, DWORD volume);
MMRESULT waveOutGetVolume(HWAVEOUT handle, DWORD* volume);

// Plays a sound file of the terminal (SND_FILENAME or not: a name is a file
// path); a null sound stops what PlaySoundW plays. TRUE on success.
BOOL PlaySoundW(LPCWSTR sound, HMODULE module, DWORD flags);

// "coredll.dll": makes the system apply the click levels stored under
// HKEY_CURRENT_USER\ControlPanel\Volume.
using PFN_AudioUpdateFromRegistry = void (*)();

}  // namespace ce

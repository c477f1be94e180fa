// Exports of the terminal vendors' libraries, as their headers declare them.
// The module reaches each through LoadLibraryW and GetProcAddressW, so a
// terminal without the library (or without one function) is told apart.
#pragma once

#include "ce/types.h"

namespace ce {

// "LXEAPI.dll": text answers are 8-bit, in the system code page; TRUE on success.
using PFN_LXEVersionSerial = BOOL (*)(char* buffer, DWORD size);
using PFN_LXEVersionOAL = BOOL (*)(char* buffer, DWORD size);
using PFN_LXEBoot = void (*)();
using PFN_LXEBootClear = void (*)();
// "LXEAPI.dll": the audio codec's line and microphone gain, in tenths of a
// decibel; non-zero on success.
using PFN_LXEAudioSetGain = BOOL (*)(LONG gain);
using PFN_LXEAudioGetGain = BOOL (*)(LONG* gain);
// "LXEAPI.dll": the display backlight. Brightness is a percent; the power
// manager's backlight time-outs always come as the pair (battery, AC).
// SetBacklightOn and ForceUserPrimaryEvent: non-zero on success; the others 1
// on success, GetBrightness -1 on failure.
using PFN_LXESetBacklightOn = BOOL (*)(BOOL on);
using PFN_LXEForceUserPrimaryEvent = BOOL (*)();
using PFN_LXESetBrightness = int (*)(DWORD percent);
using PFN_LXEGetBrightness = int (*)(DWORD* percent);
using PFN_LXEPowerMgrBacklightTimeout = int (*)(DWORD battery, DWORD ac);
using PFN_LXEPowerMgrGetBacklightTimeout = int (*)(DWORD* battery, DWORD* ac);

// "DeviceApi.dll" (Datalogic): the model code.
using PFN_DeviceGetModel = int (*)();
// "dl_api.dll" (Datalogic): the device name into a buffer of capacity characters;
// the name's length, 0 or less on failure.
using PFN_DLDEVICE_GetName = int (*)(LPWSTR buffer, DWORD capacity);

// "itc50.dll" (Intermec): the device type code.
using PFN_ITCGetDeviceType = int (*)();

// "btdrt.dll": the local Bluetooth address in the low six bytes; 0 on success.
using PFN_BthReadLocalAddr = int (*)(BYTE* address);

}  // namespace ce

// The soft input panel: its state record, the system's calls on it, and the
// shell's call that "aygshell.dll" exports (reached through GetProcAddressW).
#pragma once

#include "ce/types.h"
#include "ce/window.h"

#ifndef SIPF_OFF
#define SIPF_OFF 0x00000000
#endif
#ifndef SIPF_ON
#define SIPF_ON 0x00000001
#endif
#ifndef SPI_SETSIPINFO
#define SPI_SETSIPINFO 0x00E0
#endif
#ifndef SPI_GETSIPINFO
#define SPI_GETSIPINFO 0x00E1
#endif

namespace ce {

// A Windows CE record: desktop SDKs lack it, so it is this header's own everywhere.
struct SIPINFO {
  DWORD cbSize;  // sizeof(SIPINFO)
  DWORD fdwFlags;
  RECT rcVisibleDesktop;  // the screen above the panel
  RECT rcSipRect;         // the panel
  DWORD dwImDataSize;
  void* pvImData;
};
// 48 bytes on the terminal; the pointer at its end widens it elsewhere.
static_assert(sizeof(SIPINFO) == (sizeof(void*) == 4 ? 48 : 56));

// "aygshell.dll": SPI_GETSIPINFO or SPI_SETSIPINFO with a SIPINFO; nonzero on success.
using PFN_SHSipInfo = BOOL (*)(UINT action, UINT param, void* info, UINT winIni);

// FALSE with ERROR_INVALID_PARAMETER for no record or a cbSize that is not sizeof(SIPINFO).
BOOL SipGetInfo(SIPINFO* info);
// Shows the panel when fdwFlags has SIPF_ON, hides it otherwise; the rest is read only.
BOOL SipSetInfo(SIPINFO* info);
// SIPF_ON or SIPF_OFF.
BOOL SipShowIM(DWORD flags);

}  // namespace ce

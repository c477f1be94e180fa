// Display settings: the orientation part of ChangeDisplaySettingsExW.
// The orientation values are the device's (DMDO_270 is 4 there).
#pragma once

#include "ce/types.h"

#ifndef DM_DISPLAYORIENTATION
#define DM_DISPLAYORIENTATION 0x00800000
#endif
#ifndef DM_DISPLAYQUERYORIENTATION
#define DM_DISPLAYQUERYORIENTATION 0x01000000
#endif
#ifndef DMDO_0
#define DMDO_0 0
#endif
#ifndef DMDO_90
#define DMDO_90 1
#endif
#ifndef DMDO_180
#define DMDO_180 2
#endif
#ifndef DMDO_270
#define DMDO_270 4
#endif
#ifndef CDS_TEST
#define CDS_TEST 0x00000002
#endif
#ifndef CDS_RESET
#define CDS_RESET 0x40000000
#endif
#ifndef DISP_CHANGE_SUCCESSFUL
#define DISP_CHANGE_SUCCESSFUL 0
#endif
#ifndef DISP_CHANGE_FAILED
#define DISP_CHANGE_FAILED (-1)
#endif
#ifndef DISP_CHANGE_BADMODE
#define DISP_CHANGE_BADMODE (-2)
#endif
#ifndef DISP_CHANGE_BADPARAM
#define DISP_CHANGE_BADPARAM (-5)
#endif

namespace ce {

struct DEVMODEW {
  WCHAR dmDeviceName[32];
  WORD dmSpecVersion;
  WORD dmDriverVersion;
  WORD dmSize;
  WORD dmDriverExtra;
  DWORD dmFields;
  short dmOrientation;
  short dmPaperSize;
  short dmPaperLength;
  short dmPaperWidth;
  short dmScale;
  short dmCopies;
  short dmDefaultSource;
  short dmPrintQuality;
  short dmColor;
  short dmDuplex;
  short dmYResolution;
  short dmTTOption;
  short dmCollate;
  WCHAR dmFormName[32];
  WORD dmLogPixels;
  DWORD dmBitsPerPel;
  DWORD dmPelsWidth;
  DWORD dmPelsHeight;
  DWORD dmDisplayFlags;
  DWORD dmDisplayFrequency;
  DWORD dmDisplayOrientation;
};
static_assert(sizeof(DEVMODEW) == 192);

// With CDS_TEST the settings are only read back into mode: the current
// orientation for DM_DISPLAYORIENTATION, the supported set for
// DM_DISPLAYQUERYORIENTATION.
LONG ChangeDisplaySettingsExW(LPCWSTR device, DEVMODEW* mode, HWND hwnd, DWORD flags, void* param);

}  // namespace ce

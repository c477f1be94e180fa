// Display settings: the orientation part of ChangeDisplaySettingsEx.
#pragma once

#include "ce/types.h"

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

inline constexpr DWORD DM_DISPLAYORIENTATION = 0x00800000;
inline constexpr DWORD DM_DISPLAYQUERYORIENTATION = 0x01000000;

inline constexpr DWORD DMDO_0 = 0;
inline constexpr DWORD DMDO_90 = 1;
inline constexpr DWORD DMDO_180 = 2;
inline constexpr DWORD DMDO_270 = 4;

inline constexpr DWORD CDS_TEST = 0x00000002;
inline constexpr DWORD CDS_RESET = 0x40000000;

inline constexpr LONG DISP_CHANGE_SUCCESSFUL = 0;
inline constexpr LONG DISP_CHANGE_FAILED = -1;
inline constexpr LONG DISP_CHANGE_BADMODE = -2;
inline constexpr LONG DISP_CHANGE_BADPARAM = -5;

// With CDS_TEST the settings are only read back into mode: the current
// orientation for DM_DISPLAYORIENTATION, the supported set for
// DM_DISPLAYQUERYORIENTATION.
LONG ChangeDisplaySettingsEx(LPCWSTR device, DEVMODEW* mode, HWND hwnd, DWORD flags,
                             void* param);

}  // namespace ce

// Display orientation. The device's DEVMODEW is its own 192-byte record, with
// the orientation at its end; desktop Windows keeps it inside the display
// union of a larger record. The current settings come from
// EnumDisplaySettingsExW, a change goes through the desktop call with the
// pixel size turned with the screen, and the supported set is what the
// desktop driver accepts on trial (CDS_TEST).
#include "ce/display.h"

#include <utility>

namespace ce {
namespace {

// The fields bit of the device's records; where the SDK's headers come first
// DM_DISPLAYORIENTATION is the desktop's bit, and callers may pass either.
constexpr DWORD kDeviceOrientationField = 0x00800000;
constexpr DWORD kOrientationFields = DM_DISPLAYORIENTATION | kDeviceOrientationField;
// The supported set is a set of bits, as on the device: 90, 180 and 270 degrees.
constexpr struct {
  DWORD orientation;
  DWORD bit;
} kTurns[] = {{DMDO_90, 1}, {DMDO_180, 2}, {DMDO_270, 4}};

bool Current(LPCWSTR device, ::DEVMODEW* mode) {
  *mode = {};
  mode->dmSize = sizeof(*mode);
  return ::EnumDisplaySettingsExW(reinterpret_cast<const wchar_t*>(device), ENUM_CURRENT_SETTINGS, mode, 0) !=
         FALSE;
}

// The current settings turned to orientation, pixel size included.
::DEVMODEW Turned(const ::DEVMODEW& current, DWORD orientation) {
  ::DEVMODEW mode = current;
  if ((current.dmDisplayOrientation % 2) != (orientation % 2)) std::swap(mode.dmPelsWidth, mode.dmPelsHeight);
  mode.dmDisplayOrientation = orientation;
  mode.dmFields = DM_DISPLAYORIENTATION | DM_PELSWIDTH | DM_PELSHEIGHT;
  return mode;
}

}  // namespace

LONG ChangeDisplaySettingsExW(LPCWSTR device, DEVMODEW* mode, HWND hwnd, DWORD flags, void* param) {
  if (mode == nullptr) return DISP_CHANGE_BADPARAM;
  ::DEVMODEW current{};
  if (!Current(device, &current)) return DISP_CHANGE_FAILED;
  const auto* name = reinterpret_cast<const wchar_t*>(device);
  if ((flags & CDS_TEST) != 0) {
    if ((mode->dmFields & DM_DISPLAYQUERYORIENTATION) != 0) {
      DWORD supported = 0;
      for (const auto& turn : kTurns) {
        ::DEVMODEW trial = Turned(current, turn.orientation);
        if (::ChangeDisplaySettingsExW(name, &trial, nullptr, CDS_TEST, nullptr) == DISP_CHANGE_SUCCESSFUL)
          supported |= turn.bit;
      }
      mode->dmDisplayOrientation = supported;
    } else if ((mode->dmFields & kOrientationFields) != 0) {
      mode->dmDisplayOrientation = current.dmDisplayOrientation;
    }
    return DISP_CHANGE_SUCCESSFUL;
  }
  if ((mode->dmFields & kOrientationFields) == 0) return DISP_CHANGE_BADMODE;
  ::DEVMODEW turned = Turned(current, mode->dmDisplayOrientation);
  return ::ChangeDisplaySettingsExW(name, &turned, hwnd, flags, param);
}

}  // namespace ce

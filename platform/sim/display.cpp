// The display driver's orientation settings.
#include "ce/display.h"

#include "ce/error.h"
#include "hardware_fields.h"

namespace ce {
namespace {

bool IsOrientation(DWORD v) { return v == DMDO_0 || v == DMDO_90 || v == DMDO_180 || v == DMDO_270; }

}  // namespace

LONG ChangeDisplaySettingsEx(LPCWSTR, DEVMODEW* mode, HWND, DWORD flags, void*) {
  const auto terminal = sim::Current();
  if (!mode || !terminal) return DISP_CHANGE_BADPARAM;
  const DWORD supported = DWORD(sim::HardwareUInt("display.supported_orientations").value_or(0));
  const DWORD current = DWORD(sim::HardwareUInt("display.orientation").value_or(DMDO_0));
  const bool test = (flags & CDS_TEST) != 0;

  if (mode->dmFields & DM_DISPLAYQUERYORIENTATION) {
    if (!test) return DISP_CHANGE_BADPARAM;
    mode->dmDisplayOrientation = supported;
    return DISP_CHANGE_SUCCESSFUL;
  }
  if (mode->dmFields & DM_DISPLAYORIENTATION) {
    if (test) {
      mode->dmDisplayOrientation = current;
      return DISP_CHANGE_SUCCESSFUL;
    }
    const DWORD want = mode->dmDisplayOrientation;
    if (!IsOrientation(want) || (want != DMDO_0 && !(supported & want))) return DISP_CHANGE_BADMODE;
    std::string error;
    if (!terminal->set_hardware("display.orientation", want, &error)) return DISP_CHANGE_FAILED;
    return DISP_CHANGE_SUCCESSFUL;
  }
  return DISP_CHANGE_BADMODE;
}

}  // namespace ce

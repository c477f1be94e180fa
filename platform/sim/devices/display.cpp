// The display driver's orientation settings.
#include "ce/display.h"

#include "api.h"
#include "ce/error.h"
#include "hardware.h"
#include "terminal.h"

namespace ce::sim::api {
namespace {

bool IsOrientation(DWORD v) { return v == DMDO_0 || v == DMDO_90 || v == DMDO_180 || v == DMDO_270; }

}  // namespace

LONG ChangeDisplaySettingsExW(LPCWSTR, DEVMODEW* mode, HWND, DWORD flags, void*) {
  const auto terminal = sim::Current();
  if (!mode || !terminal) return DISP_CHANGE_BADPARAM;
  const DWORD supported = sim::hw::Read(sim::hw::kDisplayOrientations);
  const DWORD current = sim::hw::Read(sim::hw::kDisplayOrientation);
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
    if (!sim::hw::Write(sim::hw::kDisplayOrientation, want)) return DISP_CHANGE_FAILED;
    return DISP_CHANGE_SUCCESSFUL;
  }
  return DISP_CHANGE_BADMODE;
}

}  // namespace ce::sim::api

#include "devices/display_service.h"

#include <new>

#include "ce/display.h"

namespace qel {
namespace {

constexpr ce::DWORD kDriverValue[] = {DMDO_0, DMDO_90, DMDO_180, DMDO_270};

uint32_t CodeOf(ce::DWORD driverValue) {
  for (uint32_t code = 0; code < 4; ++code)
    if (kDriverValue[code] == driverValue) return code;
  return 0;
}

// Asks the driver, without changing anything, for the fields in `fields`.
bool Query(ce::DWORD fields, ce::DWORD* value) {
  ce::DEVMODEW mode{};
  mode.dmSize = sizeof mode;
  mode.dmFields = fields;
  if (ce::ChangeDisplaySettingsExW(nullptr, &mode, nullptr, CDS_TEST, nullptr) != DISP_CHANGE_SUCCESSFUL)
    return false;
  *value = mode.dmDisplayOrientation;
  return true;
}

}  // namespace

CQelDisplayService::CQelDisplayService() {
  uint32_t current = 0;
  if (GetOrientation(&current)) {
    firstPreset_ = current == 0 ? 0 : 3;
    secondPreset_ = current == 0 ? 3 : 0;
  }
}

void CQelDisplayService::SaveState() {
  uint32_t code = 0;
  if (GetOrientation(&code)) saved_ = code;
}

void CQelDisplayService::RestoreState() { SetOrientation(saved_); }

bool CQelDisplayService::SetOrientation(uint32_t code) {
  if (code > 3) return false;
  ce::DEVMODEW mode{};
  mode.dmSize = sizeof mode;
  mode.dmFields = DM_DISPLAYORIENTATION;
  mode.dmDisplayOrientation = kDriverValue[code];
  return ce::ChangeDisplaySettingsExW(nullptr, &mode, nullptr, CDS_RESET, nullptr) == DISP_CHANGE_SUCCESSFUL;
}

bool CQelDisplayService::GetOrientation(uint32_t* code) {
  ce::DWORD supported = 0, current = 0;
  if (!code || !Query(DM_DISPLAYQUERYORIENTATION, &supported) || supported == 0) return false;
  if (!Query(DM_DISPLAYORIENTATION, &current)) return false;
  *code = CodeOf(current);
  return true;
}

bool CQelDisplayService::GetFirstPreset(uint32_t* code) {
  if (!code) return false;
  *code = firstPreset_;
  return true;
}

bool CQelDisplayService::GetSecondPreset(uint32_t* code) {
  if (!code) return false;
  *code = secondPreset_;
  return true;
}

IQelService* CreateDisplayService() { return new (std::nothrow) CQelDisplayService; }

}  // namespace qel

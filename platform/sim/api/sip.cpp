// The soft input panel: its state is that of its two windows, which the
// terminal keeps (terminal_wire.h), so every process sees one panel.
#include "ce/sip.h"

#include "api.h"
#include "ce/error.h"
#include "hardware.h"
#include "last_error.h"
#include "terminal.h"
#include "terminal_objects.h"

namespace ce::sim::api {
namespace {

constexpr uint32_t kVisible = WS_VISIBLE;

std::optional<wire::WindowRecord> PanelWindow(const char16_t* className) {
  auto objects = sim::CurrentObjects();
  if (!objects) return std::nullopt;
  wire::WindowRecord match;
  const std::u16string_view name(className);
  match.classUnits = uint32_t(name.size());
  std::copy(name.begin(), name.end(), match.className);
  auto found = objects->FindWindows(wire::kFindTopLevel | wire::kFindClass, 0, match);
  if (!found || found->empty()) return std::nullopt;
  return found->front();
}

// Shows or hides both windows; false when the terminal has no panel.
bool ShowPanel(bool on) {
  auto objects = sim::CurrentObjects();
  if (!objects) return false;
  bool any = false;
  for (const char16_t* name : {wire::kPanelClass, wire::kPanelBackdropClass})
    if (auto w = PanelWindow(name))
      any = objects->ChangeWindow(w->hwnd, on ? wire::kWindowShow : wire::kWindowHide, {}).has_value() || any;
  return any;
}

BOOL Failed(DWORD error) {
  SetLastError(error);
  return FALSE;
}

}  // namespace

BOOL SipGetInfo(SIPINFO* info) {
  if (!info || info->cbSize != sizeof(SIPINFO)) return Failed(ERROR_INVALID_PARAMETER);
  if (!sim::CurrentObjects()) return Failed(ERROR_NOT_READY);
  const auto panel = PanelWindow(wire::kPanelClass);
  if (!panel) return Failed(ERROR_NOT_READY);
  const bool on = (panel->style & kVisible) != 0;
  const LONG width = LONG(hw::Read(hw::kDisplayWidth));
  const LONG height = LONG(hw::Read(hw::kDisplayHeight));
  info->fdwFlags = on ? SIPF_ON : SIPF_OFF;
  info->rcSipRect = {panel->left, panel->top, panel->right, panel->bottom};
  // The desktop a program may use: the screen, less the panel while it shows.
  info->rcVisibleDesktop = {0, 0, width > 0 ? width : panel->right, height > 0 ? height : panel->bottom};
  if (on && panel->top < info->rcVisibleDesktop.bottom) info->rcVisibleDesktop.bottom = panel->top;
  info->dwImDataSize = 0;
  info->pvImData = nullptr;
  return TRUE;
}

BOOL SipSetInfo(SIPINFO* info) {
  if (!info || info->cbSize != sizeof(SIPINFO)) return Failed(ERROR_INVALID_PARAMETER);
  return ShowPanel((info->fdwFlags & SIPF_ON) != 0) ? TRUE : Failed(ERROR_NOT_READY);
}

BOOL SipShowIM(DWORD flags) {
  if (flags != SIPF_ON && flags != SIPF_OFF) return Failed(ERROR_INVALID_PARAMETER);
  return ShowPanel(flags == SIPF_ON) ? TRUE : Failed(ERROR_NOT_READY);
}

}  // namespace ce::sim::api

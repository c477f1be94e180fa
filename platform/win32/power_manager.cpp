// The power manager's calls, Windows CE's alone. Desktop Windows has a
// SetSystemPowerState of another shape (suspend or hibernate), which must not
// be taken for this one.
#include "ce/power.h"
#include "system_export.h"

namespace ce {

HANDLE RequestPowerNotifications(HANDLE msgQueue, DWORD flags) {
  using Fn = HANDLE (*)(HANDLE, DWORD);
  static const auto fn = win32::Export<Fn>(win32::kCoreLibrary, "RequestPowerNotifications");
  if (fn == nullptr) return win32::NotImplemented<HANDLE>(nullptr);
  return fn(msgQueue, flags);
}

BOOL StopPowerNotifications(HANDLE notifications) {
  using Fn = BOOL (*)(HANDLE);
  static const auto fn = win32::Export<Fn>(win32::kCoreLibrary, "StopPowerNotifications");
  if (fn == nullptr) return win32::NotImplemented<BOOL>(FALSE);
  return fn(notifications);
}

DWORD SetSystemPowerState(LPCWSTR state, DWORD flags, DWORD options) {
  // Answers with an error code, which is also the last error.
  using Fn = DWORD (*)(LPCWSTR, DWORD, DWORD);
  static const auto fn = win32::Export<Fn>(win32::kCoreLibrary, "SetSystemPowerState");
  if (fn == nullptr) return win32::NotImplemented<DWORD>(ERROR_CALL_NOT_IMPLEMENTED);
  return fn(state, flags, options);
}

}  // namespace ce

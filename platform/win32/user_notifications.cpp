// User notifications, Windows CE's alone: without them there is no
// registration to list, read or clear, and none can be made.
#include "ce/notify.h"
#include "system_export.h"

namespace ce {

HANDLE CeSetUserNotificationEx(HANDLE notification, CE_NOTIFICATION_TRIGGER* trigger,
                               CE_USER_NOTIFICATION* userNotification) {
  using Fn = HANDLE (*)(HANDLE, CE_NOTIFICATION_TRIGGER*, CE_USER_NOTIFICATION*);
  static const auto fn = win32::Export<Fn>(win32::kCoreLibrary, "CeSetUserNotificationEx");
  if (fn == nullptr) return win32::NotImplemented<HANDLE>(nullptr);
  return fn(notification, trigger, userNotification);
}

BOOL CeGetUserNotificationHandles(HANDLE* handles, DWORD count, DWORD* needed) {
  using Fn = BOOL (*)(HANDLE*, DWORD, DWORD*);
  static const auto fn = win32::Export<Fn>(win32::kCoreLibrary, "CeGetUserNotificationHandles");
  if (fn == nullptr) return win32::NotImplemented<BOOL>(FALSE);
  return fn(handles, count, needed);
}

BOOL CeGetUserNotification(HANDLE notification, DWORD bufferSize, DWORD* bytesNeeded, BYTE* buffer) {
  using Fn = BOOL (*)(HANDLE, DWORD, DWORD*, BYTE*);
  static const auto fn = win32::Export<Fn>(win32::kCoreLibrary, "CeGetUserNotification");
  if (fn == nullptr) return win32::NotImplemented<BOOL>(FALSE);
  return fn(notification, bufferSize, bytesNeeded, buffer);
}

BOOL CeClearUserNotification(HANDLE notification) {
  using Fn = BOOL (*)(HANDLE);
  static const auto fn = win32::Export<Fn>(win32::kCoreLibrary, "CeClearUserNotification");
  if (fn == nullptr) return win32::NotImplemented<BOOL>(FALSE);
  return fn(notification);
}

}  // namespace ce

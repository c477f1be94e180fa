// User notifications: registrations kept by the terminal across program runs,
// so that a program finds (and clears) what an earlier run left registered.
// A trigger of type CNT_EVENT fires on a system event; its application text
// "\\.\Notifications\NamedEvents\NAME" names the event set when it fires.
#pragma once

#include "ce/time.h"
#include "ce/types.h"

#ifndef CNT_EVENT
#define CNT_EVENT 1
#endif
#ifndef CNT_TIME
#define CNT_TIME 2
#endif
#ifndef CNT_PERIOD
#define CNT_PERIOD 3
#endif
#ifndef CNT_CLASSICTIME
#define CNT_CLASSICTIME 4
#endif
#ifndef NOTIFICATION_EVENT_NONE
#define NOTIFICATION_EVENT_NONE 0
#endif
#ifndef NOTIFICATION_EVENT_TIME_CHANGE
#define NOTIFICATION_EVENT_TIME_CHANGE 1
#endif
#ifndef NOTIFICATION_EVENT_WAKEUP
#define NOTIFICATION_EVENT_WAKEUP 11
#endif

namespace ce {

struct CE_NOTIFICATION_TRIGGER {
  DWORD dwSize;
  DWORD dwType;
  DWORD dwEvent;
  WCHAR* lpszApplication;
  WCHAR* lpszArguments;
  SYSTEMTIME stStartTime;
  SYSTEMTIME stEndTime;
};

struct CE_USER_NOTIFICATION {
  DWORD ActionFlags;
  WCHAR* pwszDialogTitle;
  WCHAR* pwszDialogText;
  WCHAR* pwszSound;
  DWORD nMaxSound;
  DWORD dwReserved;
};

// What CeGetUserNotification writes at the start of the caller's buffer; the
// texts and records it points to follow in the same buffer.
struct CE_NOTIFICATION_INFO_HEADER {
  HANDLE hNotification;
  DWORD dwStatus;
  CE_NOTIFICATION_TRIGGER* pcent;
  CE_USER_NOTIFICATION* pceun;
};

// notification: an existing registration to replace, or null for a new one.
HANDLE CeSetUserNotificationEx(HANDLE notification, CE_NOTIFICATION_TRIGGER* trigger,
                               CE_USER_NOTIFICATION* userNotification);
// needed: how many registrations there are; handles may be null when count is 0.
BOOL CeGetUserNotificationHandles(HANDLE* handles, DWORD count, DWORD* needed);
// ERROR_INSUFFICIENT_BUFFER with bytesNeeded set when the buffer is too small.
BOOL CeGetUserNotification(HANDLE notification, DWORD bufferSize, DWORD* bytesNeeded, BYTE* buffer);
BOOL CeClearUserNotification(HANDLE notification);

}  // namespace ce

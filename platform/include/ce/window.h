// Messages between threads: a thread gets a message queue the first time it
// asks for a message, and from then on any thread of any process on the
// terminal can post to it by thread id. Windows come later; until then a
// window handle argument must be NULL.
#pragma once

#include "ce/types.h"

namespace ce {

#if defined(_WIN32)
using ::LPARAM;
using ::MSG;
using ::POINT;
using ::WPARAM;
#else
using WPARAM = uintptr_t;
using LPARAM = intptr_t;

struct POINT {
  LONG x;
  LONG y;
};

struct MSG {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  DWORD time;
  POINT pt;
};
#endif

}  // namespace ce

#ifndef WM_QUIT
#define WM_QUIT 0x0012
#endif
#ifndef WM_USER
#define WM_USER 0x0400
#endif
#ifndef PM_NOREMOVE
#define PM_NOREMOVE 0x0000
#endif
#ifndef PM_REMOVE
#define PM_REMOVE 0x0001
#endif
#ifndef ERROR_INVALID_WINDOW_HANDLE
#define ERROR_INVALID_WINDOW_HANDLE 1400
#endif
#ifndef ERROR_NOT_ENOUGH_QUOTA
#define ERROR_NOT_ENOUGH_QUOTA 1816
#endif
#ifndef ERROR_INVALID_THREAD_ID
#define ERROR_INVALID_THREAD_ID 1444
#endif

namespace ce {

// FALSE, with ERROR_INVALID_THREAD_ID, when no thread of that id (in any
// process on the terminal) has a message queue, or ERROR_NOT_ENOUGH_QUOTA when
// its queue is full (some 270 messages wait unread).
BOOL PostThreadMessageW(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam);
// The calling thread's oldest message with filterMin <= message <= filterMax
// (both 0: any), left in the queue unless removeMessage has PM_REMOVE; FALSE
// when there is none.
BOOL PeekMessageW(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeMessage);
// Waits for such a message and removes it: 0 for WM_QUIT, nonzero for any
// other, -1 (with the error set) for bad arguments.
BOOL GetMessageW(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax);

}  // namespace ce

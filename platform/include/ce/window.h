// Windows and messages. A thread gets a message queue the first time it asks
// for a message or makes a window, and from then on any thread of any process
// on the terminal can post to it by thread id, or to its windows by handle.
// Window handles are terminal-wide: another process can find a window, post
// or send to it, read and move its rectangle. Window classes, procedures,
// user data and extra bytes stay with the process that registered or made
// them.
#pragma once

#include "ce/types.h"

#if !defined(_WIN32) && !defined(CALLBACK)
#define CALLBACK
#endif

namespace ce {

#if defined(_WIN32)
using ::ATOM;
using ::HBRUSH;
using ::HCURSOR;
using ::HGDIOBJ;
using ::HICON;
using ::HMENU;
using ::LONG_PTR;
using ::LPARAM;
using ::LRESULT;
using ::MSG;
using ::POINT;
using ::RECT;
using ::WNDENUMPROC;
using ::WNDPROC;
using ::WPARAM;
#else
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;
using LONG_PTR = intptr_t;
using ATOM = WORD;
using HBRUSH = void*;
using HCURSOR = void*;
using HGDIOBJ = void*;
using HICON = void*;
using HMENU = void*;
using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);
using WNDENUMPROC = BOOL (*)(HWND, LPARAM);

struct POINT {
  LONG x;
  LONG y;
};

struct RECT {
  LONG left;
  LONG top;
  LONG right;
  LONG bottom;
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

struct WNDCLASSW {
  UINT style;
  WNDPROC lpfnWndProc;
  int cbClsExtra;
  int cbWndExtra;
  HINSTANCE hInstance;
  HICON hIcon;
  HCURSOR hCursor;
  HBRUSH hbrBackground;
  LPCWSTR lpszMenuName;
  LPCWSTR lpszClassName;
};

// What WM_CREATE's lParam points to.
struct CREATESTRUCTW {
  void* lpCreateParams;
  HINSTANCE hInstance;
  HMENU hMenu;
  HWND hwndParent;
  int cy;
  int cx;
  int y;
  int x;
  LONG style;
  LPCWSTR lpszName;
  LPCWSTR lpszClass;
  DWORD dwExStyle;
};

}  // namespace ce

#ifndef WM_CREATE
#define WM_CREATE 0x0001
#endif
#ifndef WM_DESTROY
#define WM_DESTROY 0x0002
#endif
#ifndef WM_CLOSE
#define WM_CLOSE 0x0010
#endif
#ifndef WM_QUIT
#define WM_QUIT 0x0012
#endif
#ifndef WM_KEYDOWN
#define WM_KEYDOWN 0x0100
#endif
#ifndef WM_CHAR
#define WM_CHAR 0x0102
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
#ifndef GWL_WNDPROC
#define GWL_WNDPROC (-4)
#endif
#ifndef GWL_ID
#define GWL_ID (-12)
#endif
#ifndef GWL_STYLE
#define GWL_STYLE (-16)
#endif
#ifndef GWL_EXSTYLE
#define GWL_EXSTYLE (-20)
#endif
#ifndef GWL_USERDATA
#define GWL_USERDATA (-21)
#endif
#ifndef GWLP_WNDPROC
#define GWLP_WNDPROC (-4)
#endif
#ifndef GWLP_USERDATA
#define GWLP_USERDATA (-21)
#endif
#ifndef WS_POPUP
#define WS_POPUP 0x80000000L
#endif
#ifndef WS_CHILD
#define WS_CHILD 0x40000000L
#endif
#ifndef WS_VISIBLE
#define WS_VISIBLE 0x10000000L
#endif
#ifndef WHITE_BRUSH
#define WHITE_BRUSH 0
#endif
#ifndef BLACK_BRUSH
#define BLACK_BRUSH 4
#endif
#ifndef NULL_BRUSH
#define NULL_BRUSH 5
#endif
#ifndef CS_VREDRAW
#define CS_VREDRAW 0x0001
#endif
#ifndef CS_HREDRAW
#define CS_HREDRAW 0x0002
#endif
#ifndef CW_USEDEFAULT
#define CW_USEDEFAULT (static_cast<int>(0x80000000))
#endif
#ifndef SW_HIDE
#define SW_HIDE 0
#endif
#ifndef SW_SHOWNORMAL
#define SW_SHOWNORMAL 1
#endif
#ifndef SW_SHOW
#define SW_SHOW 5
#endif
#ifndef SWP_NOSIZE
#define SWP_NOSIZE 0x0001
#endif
#ifndef SWP_NOMOVE
#define SWP_NOMOVE 0x0002
#endif
#ifndef SWP_NOZORDER
#define SWP_NOZORDER 0x0004
#endif
#ifndef SWP_NOACTIVATE
#define SWP_NOACTIVATE 0x0010
#endif
#ifndef SWP_SHOWWINDOW
#define SWP_SHOWWINDOW 0x0040
#endif
#ifndef SWP_HIDEWINDOW
#define SWP_HIDEWINDOW 0x0080
#endif
#ifndef ERROR_CANNOT_FIND_WND_CLASS
#define ERROR_CANNOT_FIND_WND_CLASS 1407
#endif
#ifndef ERROR_INVALID_WINDOW_HANDLE
#define ERROR_INVALID_WINDOW_HANDLE 1400
#endif
#ifndef ERROR_CLASS_ALREADY_EXISTS
#define ERROR_CLASS_ALREADY_EXISTS 1410
#endif
#ifndef ERROR_CLASS_DOES_NOT_EXIST
#define ERROR_CLASS_DOES_NOT_EXIST 1411
#endif
#ifndef ERROR_CLASS_HAS_WINDOWS
#define ERROR_CLASS_HAS_WINDOWS 1412
#endif
#ifndef ERROR_INVALID_INDEX
#define ERROR_INVALID_INDEX 1413
#endif
#ifndef ERROR_NOT_ENOUGH_QUOTA
#define ERROR_NOT_ENOUGH_QUOTA 1816
#endif
#ifndef ERROR_INVALID_THREAD_ID
#define ERROR_INVALID_THREAD_ID 1444
#endif

namespace ce {

// Thread messages.

// FALSE, with ERROR_INVALID_THREAD_ID, when no thread of that id (in any
// process on the terminal) has a message queue, or ERROR_NOT_ENOUGH_QUOTA when
// its queue is full (some 270 messages wait unread).
BOOL PostThreadMessageW(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam);
// The calling thread's oldest message for hwnd (NULL: any; (HWND)-1: thread
// messages only) with filterMin <= message <= filterMax (both 0: any), left in
// the queue unless removeMessage has PM_REMOVE; FALSE when there is none.
// Messages sent to the thread's windows by other threads are run first.
BOOL PeekMessageW(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeMessage);
// Waits for such a message and removes it: 0 for WM_QUIT, nonzero for any
// other, -1 (with the error set) for bad arguments.
BOOL GetMessageW(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax);
// Posts WM_QUIT (wParam: exitCode) to the calling thread.
void PostQuitMessage(int exitCode);

// Window classes, per process.

// The class's atom, or 0 with ERROR_CLASS_ALREADY_EXISTS or ERROR_INVALID_PARAMETER.
ATOM RegisterClassW(const WNDCLASSW* wndClass);
// FALSE with ERROR_CLASS_DOES_NOT_EXIST, or ERROR_CLASS_HAS_WINDOWS while a window of it lives.
BOOL UnregisterClassW(LPCWSTR className, HINSTANCE instance);

// The system's stock brushes, WHITE_BRUSH to NULL_BRUSH; NULL (with
// ERROR_INVALID_PARAMETER) for any other index.
HGDIOBJ GetStockObject(int index);

// Windows.

// Sends WM_CREATE (lParam: a CREATESTRUCTW) before it returns; a procedure
// that answers -1 stops the creation. NULL with ERROR_CANNOT_FIND_WND_CLASS,
// ERROR_INVALID_WINDOW_HANDLE (parent) or ERROR_NOT_READY (no terminal).
HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance, void* param);
// The owning thread only (else ERROR_ACCESS_DENIED): sends WM_DESTROY, destroys
// the window's children, and drops the messages still waiting for it.
BOOL DestroyWindow(HWND hwnd);
BOOL IsWindow(HWND hwnd);
// Whether the window was visible before.
BOOL ShowWindow(HWND hwnd, int command);
BOOL UpdateWindow(HWND hwnd);
// GWL_STYLE and GWL_EXSTYLE of any window; the rest (GWL_USERDATA, GWL_ID,
// GWL_WNDPROC, offsets into the extra bytes) of the process's own windows,
// else ERROR_ACCESS_DENIED. A bad offset: ERROR_INVALID_INDEX, as is
// GWL_WNDPROC where a procedure is wider than a LONG (use the Ptr calls).
LONG GetWindowLongW(HWND hwnd, int index);
// The value before.
LONG SetWindowLongW(HWND hwnd, int index, LONG value);
// The same at pointer width (user data and procedures are pointers on 64-bit systems).
LONG_PTR GetWindowLongPtrW(HWND hwnd, int index);
LONG_PTR SetWindowLongPtrW(HWND hwnd, int index, LONG_PTR value);
BOOL GetWindowRect(HWND hwnd, RECT* rect);
BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL repaint);
// The z order is not kept: insertAfter is ignored.
BOOL SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags);
// NULL for a top-level window (last error ERROR_SUCCESS) or a bad one.
HWND GetParent(HWND hwnd);
// The newest top-level window of the terminal whose class (an atom of this
// process, or a name) and title match without regard to case; NULL matches any.
HWND FindWindowW(LPCWSTR className, LPCWSTR windowName);
// Every top-level window of the terminal, newest first, until proc answers FALSE.
BOOL EnumWindows(WNDENUMPROC proc, LPARAM lParam);
// The thread that made the window, and (when processId is not null) its
// process on the terminal; 0 for a bad window.
DWORD GetWindowThreadProcessId(HWND hwnd, DWORD* processId);
// Makes the window the terminal's foreground window and the first that
// EnumWindows finds; FALSE with ERROR_INVALID_WINDOW_HANDLE for a window that is gone.
BOOL SetForegroundWindow(HWND hwnd);
// The terminal's foreground window; NULL when there is none (it was destroyed,
// or none was brought forward).
HWND GetForegroundWindow();

// Messages to windows.

// Into the queue of the window's thread, of any process on the terminal; NULL
// posts to the calling thread. FALSE with ERROR_INVALID_WINDOW_HANDLE or
// ERROR_NOT_ENOUGH_QUOTA.
BOOL PostMessageW(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// Runs the window's procedure: at once on its own thread, else on that thread
// when it next looks for a message, while the caller waits (and runs what is
// sent to its own windows meanwhile). Between processes wParam and lParam
// travel as numbers: a pointer means nothing to the other side.
LRESULT SendMessageW(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// Runs the procedure of msg->hwnd (a window of this process) on the message.
LRESULT DispatchMessageW(const MSG* msg);
// Posts WM_CHAR for a WM_KEYDOWN of a key that types a character; TRUE when it did.
BOOL TranslateMessage(const MSG* msg);
// What a window does with a message its procedure leaves alone: WM_CLOSE
// destroys the window; everything else answers 0.
LRESULT DefWindowProcW(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace ce

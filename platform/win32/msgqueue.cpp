// Point-to-point message queues, Windows CE's alone: without them no queue
// can be made, so nothing reads or writes one either.
#include "ce/msgqueue.h"

#include "system_export.h"

namespace ce {

HANDLE CreateMsgQueue(LPCWSTR name, MSGQUEUEOPTIONS* options) {
  using Fn = HANDLE (*)(LPCWSTR, MSGQUEUEOPTIONS*);
  static const auto fn = win32::Export<Fn>(win32::kCoreLibrary, "CreateMsgQueue");
  if (fn == nullptr) return win32::NotImplemented<HANDLE>(nullptr);
  return fn(name, options);
}

BOOL CloseMsgQueue(HANDLE queue) {
  using Fn = BOOL (*)(HANDLE);
  static const auto fn = win32::Export<Fn>(win32::kCoreLibrary, "CloseMsgQueue");
  if (fn == nullptr) return win32::NotImplemented<BOOL>(FALSE);
  return fn(queue);
}

BOOL ReadMsgQueue(HANDLE queue, void* buffer, DWORD bufferSize, DWORD* bytesRead, DWORD timeout,
                  DWORD* flags) {
  using Fn = BOOL (*)(HANDLE, void*, DWORD, DWORD*, DWORD, DWORD*);
  static const auto fn = win32::Export<Fn>(win32::kCoreLibrary, "ReadMsgQueue");
  if (fn == nullptr) return win32::NotImplemented<BOOL>(FALSE);
  return fn(queue, buffer, bufferSize, bytesRead, timeout, flags);
}

BOOL WriteMsgQueue(HANDLE queue, const void* buffer, DWORD bufferSize, DWORD timeout, DWORD flags) {
  using Fn = BOOL (*)(HANDLE, const void*, DWORD, DWORD, DWORD);
  static const auto fn = win32::Export<Fn>(win32::kCoreLibrary, "WriteMsgQueue");
  if (fn == nullptr) return win32::NotImplemented<BOOL>(FALSE);
  return fn(queue, buffer, bufferSize, timeout, flags);
}

}  // namespace ce

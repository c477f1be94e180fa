// The HAL's and the device manager's calls, Windows CE's alone: on a system
// without them every caller sees a terminal whose HAL answers no control and
// whose device manager finds no device.
#include "ce/device.h"
#include "ce/error.h"
#include "system_export.h"

namespace ce {

BOOL KernelIoControl(DWORD ioControlCode, void* inBuffer, DWORD inSize, void* outBuffer, DWORD outSize,
                     DWORD* bytesReturned) {
  using Fn = BOOL (*)(DWORD, void*, DWORD, void*, DWORD, DWORD*);
  static const auto fn = win32::Export<Fn>(win32::kCoreLibrary, "KernelIoControl");
  if (fn == nullptr) return win32::NotImplemented<BOOL>(FALSE);
  return fn(ioControlCode, inBuffer, inSize, outBuffer, outSize, bytesReturned);
}

BOOL SetCleanRebootFlag() {
  // A void call on the device: success is its being there.
  using Fn = void (*)();
  static const auto fn = win32::Export<Fn>(win32::kCoreLibrary, "SetCleanRebootFlag");
  if (fn == nullptr) return win32::NotImplemented<BOOL>(FALSE);
  fn();
  return TRUE;
}

HANDLE FindFirstDevice(DeviceSearchType searchType, const void* searchParam,
                       DEVMGR_DEVICE_INFORMATION* info) {
  using Fn = HANDLE (*)(DeviceSearchType, const void*, DEVMGR_DEVICE_INFORMATION*);
  static const auto fn = win32::Export<Fn>(win32::kCoreLibrary, "FindFirstDevice");
  if (fn == nullptr) return win32::NotImplemented<HANDLE>(INVALID_HANDLE_VALUE);
  return fn(searchType, searchParam, info);
}

}  // namespace ce

// The notification-LED driver's calls, Windows CE's alone: without them the
// system has no LED to count, read or set.
#include "ce/nled.h"

#include "system_export.h"

namespace ce {

BOOL NLedGetDeviceInfo(UINT infoId, void* output) {
  using Fn = BOOL (*)(UINT, void*);
  static const auto fn = win32::Export<Fn>(win32::kCoreLibrary, "NLedGetDeviceInfo");
  if (fn == nullptr) return win32::NotImplemented<BOOL>(FALSE);
  return fn(infoId, output);
}

BOOL NLedSetDevice(UINT deviceId, void* input) {
  using Fn = BOOL (*)(UINT, void*);
  static const auto fn = win32::Export<Fn>(win32::kCoreLibrary, "NLedSetDevice");
  if (fn == nullptr) return win32::NotImplemented<BOOL>(FALSE);
  return fn(deviceId, input);
}

}  // namespace ce

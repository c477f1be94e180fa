// The soft input panel's system calls, Windows CE's alone: a system without
// them has no panel to read, show or hide.
#include "ce/sip.h"

#include "system_export.h"

namespace ce {

BOOL SipGetInfo(SIPINFO* info) {
  using Fn = BOOL (*)(SIPINFO*);
  static const auto fn = win32::Export<Fn>(win32::kCoreLibrary, "SipGetInfo");
  if (fn == nullptr) return win32::NotImplemented<BOOL>(FALSE);
  return fn(info);
}

BOOL SipSetInfo(SIPINFO* info) {
  using Fn = BOOL (*)(SIPINFO*);
  static const auto fn = win32::Export<Fn>(win32::kCoreLibrary, "SipSetInfo");
  if (fn == nullptr) return win32::NotImplemented<BOOL>(FALSE);
  return fn(info);
}

BOOL SipShowIM(DWORD flags) {
  using Fn = BOOL (*)(DWORD);
  static const auto fn = win32::Export<Fn>(win32::kCoreLibrary, "SipShowIM");
  if (fn == nullptr) return win32::NotImplemented<BOOL>(FALSE);
  return fn(flags);
}

}  // namespace ce

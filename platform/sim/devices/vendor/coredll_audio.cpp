// The core library's AudioUpdateFromRegistry: the system takes the key-click
// and screen-tap levels stored under HKEY_CURRENT_USER\ControlPanel\Volume
// and applies them (the hardware state keeps what it applied).
#include "api.h"
#include "ce/audio.h"
#include "ce/registry.h"
#include "hardware.h"
#include "last_error.h"
#include "modules.h"
#include "vendor_library.h"

namespace ce::sim {
namespace {

// A value that is missing or not a DWORD leaves the level applied before.
template <class F>
void Apply(HKEY key, LPCWSTR name, const F& field) {
  DWORD type = 0, value = 0, size = sizeof value;
  if (api::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) ==
          ERROR_SUCCESS &&
      type == REG_DWORD && size == sizeof value)
    hw::Write(field, value);
}

void AudioUpdateFromRegistry() {
  const DWORD kept = GetLastError();
  HKEY key = nullptr;
  if (api::RegOpenKeyExW(HKEY_CURRENT_USER, u"ControlPanel\\Volume", 0, KEY_QUERY_VALUE, &key) ==
      ERROR_SUCCESS) {
    Apply(key, u"Key", hw::kKeyClickApplied);
    Apply(key, u"Screen", hw::kScreenTapApplied);
    api::RegCloseKey(key);
  }
  SetLastError(kept);
}

const bool kRegistered = RegisterModuleExports(
    u"coredll.dll",
    {{u"AudioUpdateFromRegistry", Export<PFN_AudioUpdateFromRegistry>(AudioUpdateFromRegistry)}});

}  // namespace
}  // namespace ce::sim

// The core library's GetDeviceUniqueID, present on terminals whose profile
// lists "coredll.dll" with it.
#include <cstring>

#include "ce/com.h"
#include "ce/device.h"
#include "ce/vendor.h"
#include "hardware.h"
#include "hex.h"
#include "modules.h"
#include "vendor_library.h"

namespace ce::sim {
namespace {

constexpr LONG kInsufficientBuffer = LONG(0x8007007A);

LONG GetDeviceUniqueID(BYTE* appData, DWORD appDataSize, DWORD version, BYTE* out, DWORD* outSize) {
  if (!appData || appDataSize < 8 || version != 1 || !outSize) return E_INVALIDARG;
  const auto bytes = ParseHex(hw::Read(hw::kDeviceUniqueId));
  if (!bytes || bytes->empty()) return E_FAIL;
  if (!out || *outSize < bytes->size()) {
    *outSize = DWORD(bytes->size());
    return kInsufficientBuffer;
  }
  std::memcpy(out, bytes->data(), bytes->size());
  *outSize = DWORD(bytes->size());
  return S_OK;
}

const bool kRegistered = RegisterModuleExports(
    u"coredll.dll", {{u"GetDeviceUniqueID", Export<PFN_GetDeviceUniqueID>(GetDeviceUniqueID)}});

}  // namespace
}  // namespace ce::sim

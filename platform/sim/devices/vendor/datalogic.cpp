// The Datalogic libraries: "DeviceApi.dll" (the model code) and "dl_api.dll"
// (the device name).
#include <cstring>
#include <string>

#include "ce/vendor.h"
#include "hardware.h"
#include "modules.h"
#include "utf.h"
#include "vendor_library.h"

namespace ce::sim {
namespace {

int DeviceGetModel() { return hw::Read(hw::kDatalogicModel); }

int DLDEVICE_GetName(LPWSTR buffer, DWORD capacity) {
  const std::u16string name = FromUtf8(hw::Read(hw::kDatalogicName));
  if (!buffer || name.empty() || name.size() >= capacity) return 0;
  std::memcpy(buffer, name.c_str(), (name.size() + 1) * sizeof(char16_t));
  return int(name.size());
}

const bool kRegistered =
    RegisterModuleExports(u"DeviceApi.dll",
                          {{u"DeviceGetModel", Export<PFN_DeviceGetModel>(DeviceGetModel)}}) &&
    RegisterModuleExports(u"dl_api.dll",
                          {{u"DLDEVICE_GetName", Export<PFN_DLDEVICE_GetName>(DLDEVICE_GetName)}});

}  // namespace
}  // namespace ce::sim

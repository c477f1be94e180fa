// "itc50.dll": the Intermec device-type query.
#include "ce/vendor.h"
#include "hardware.h"
#include "modules.h"
#include "vendor_library.h"

namespace ce::sim {
namespace {

int ITCGetDeviceType() { return hw::Read(hw::kIntermecDeviceType); }

const bool kRegistered = RegisterModuleExports(
    u"itc50.dll", {{u"ITCGetDeviceType", Export<PFN_ITCGetDeviceType>(ITCGetDeviceType)}});

}  // namespace
}  // namespace ce::sim
